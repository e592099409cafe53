/* The stream-relay library: records an RTSP stream into an MP4 file.
 * Plain C interface; every function returns 0 on success. */
#ifndef ZELMICRO_H
#define ZELMICRO_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define ZMS32_API __declspec(dllexport)
#else
#define ZMS32_API __attribute__((visibility("default")))
#endif

/* Size of the configuration record handed to zms32CreateDispatchStream. */
#define ZMS32_CONFIG_SIZE 5204

/* Byte offsets inside the configuration record (integers are 32-bit
 * little-endian, texts end with a zero byte inside their field). */
#define ZMS32_OFS_VERSION 4 /* 256 */
#define ZMS32_OFS_RTP_MODE 8 /* 0 = RTP over UDP, 1 = RTP over TCP */
#define ZMS32_OFS_URL 12 /* 4096 bytes */
#define ZMS32_LEN_URL 4096
#define ZMS32_OFS_FOLDER 4108 /* 512 bytes, ends with a path separator */
#define ZMS32_LEN_FOLDER 512
#define ZMS32_OFS_NAME 4620 /* 512 bytes, no extension */
#define ZMS32_LEN_NAME 512
#define ZMS32_OFS_ENABLE 5132 /* 1 */
#define ZMS32_OFS_FLAGS 5136 /* 0 */
#define ZMS32_OFS_BITRATE 5148 /* 3000000 */
#define ZMS32_OFS_RESERVED 5200 /* 0 */

/* Result codes. */
#define ZMS32_OK 0
#define ZMS32_ERR_NOT_INITIALISED 1 /* zms32Init has not been called */
#define ZMS32_ERR_WRONG_STATE 2 /* the call does not fit the stream's state */
#define ZMS32_ERR_BAD_STREAM 3 /* only stream 0 exists */
#define ZMS32_ERR_BAD_CONFIG 4 /* record missing, text without end, unknown RTP mode, no URL */
#define ZMS32_ERR_FOLDER 5 /* output folder missing or not writable */
#define ZMS32_ERR_CONNECT 6 /* the stream could not be opened (refused, unreachable, no media) */
#define ZMS32_ERR_NO_MEDIA 7 /* recording ended before any picture arrived; no file was made */
#define ZMS32_ERR_WRITE 8 /* writing the file failed; what was written stays playable */

/* Call order: Init once; per recording Create, StartRecord, then Destroy (ends the recording and
 * finalises the file; its result tells whether the file is good), then StopRecord; Uninit once.
 * A StopRecord before Destroy also ends the recording. Every call returns within about a second. */
ZMS32_API int32_t zms32Init(int32_t port, int32_t flags, int32_t mode);
ZMS32_API int32_t zms32Uninit(void);
ZMS32_API int32_t zms32CreateDispatchStream(int32_t stream, const void *config);
ZMS32_API int32_t zms32StartDispatchStreamRecord(int32_t stream);
ZMS32_API int32_t zms32DestroyDispatchStream(int32_t stream);
ZMS32_API int32_t zms32StopDispatchStreamRecord(int32_t stream);

#ifdef __cplusplus
}
#endif

#endif
