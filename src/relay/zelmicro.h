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
#define ZMS32_ERR_VIDEO 9 /* the stream has no picture an MP4 file can carry (only H.264, H.265 and
                           * the like are recorded); no file is made */
#define ZMS32_ERR_EXISTS 10 /* a file of that name exists (or a symbolic link, or a folder); nothing was
                             * touched: the file is made exclusively and links are never followed */
#define ZMS32_ERR_INTERNAL 11 /* an unexpected failure inside the library (memory ran out); the call did
                               * not complete */

/* Call order: Init once; per recording Create, StartRecord, then Destroy (ends the recording and
 * finalises the file; its result tells whether the file is good), then StopRecord; Uninit once.
 * A StopRecord before Destroy also ends the recording.
 *
 * The file: Create makes FOLDER/NAME.mp4 exclusively (never over an existing file, never through a
 * symbolic link: ZMS32_ERR_EXISTS) and removes it again when no picture ever comes. Fragments reach
 * the disk as they are written and are synced to it about once a second, so a killed process or a
 * power cut loses at most about two seconds. A failed write (disk full) is tried again every few
 * seconds and the file goes on where it stopped, the lost part a hole in its timeline; a file or
 * folder removed mid-recording is made again with everything recorded so far.
 *
 * Threads: Create, StartRecord, Destroy and StopRecord of a stream are called one after another
 * (from one thread, or each after the other returned); GetDispatchStreamStatus and
 * SetDispatchStreamUrl may be called from any thread at any time, also while those run; Init and
 * Uninit run alone. No call waits for file I/O or a network connect of another call: Create waits for
 * its own connect (up to about 8 s), every other call returns within about a second. When the disk
 * stalls (a network share that stopped answering), Destroy and StopRecord return after about a second
 * with the verdict so far (0 when media was written and no write is failing) and the file is finished
 * on a thread of its own; the next Create works meanwhile, and Uninit leaves such files to their
 * threads after about a second. */
ZMS32_API int32_t zms32Init(int32_t port, int32_t flags, int32_t mode);
ZMS32_API int32_t zms32Uninit(void);
ZMS32_API int32_t zms32CreateDispatchStream(int32_t stream, const void *config);
ZMS32_API int32_t zms32StartDispatchStreamRecord(int32_t stream);
ZMS32_API int32_t zms32DestroyDispatchStream(int32_t stream);
ZMS32_API int32_t zms32StopDispatchStreamRecord(int32_t stream);

/* How the recording holds the stream's sound (Zms32StreamStatus.audio). */
#define ZMS32_AUDIO_NONE 0 /* the stream has no sound */
#define ZMS32_AUDIO_COPIED 1 /* recorded as it comes (AAC, MP3, MP2) */
#define ZMS32_AUDIO_TRANSCODED 2 /* G.711 and other sound MP4 cannot carry, recorded as AAC */
#define ZMS32_AUDIO_DROPPED 3 /* the sound cannot be recorded: the file has the picture alone */

/* Bits of Zms32StreamStatus.flags. */
#define ZMS32_STATUS_CONNECTED 0x1 /* the stream's connection is open (else the relay is reconnecting) */
#define ZMS32_STATUS_TCP 0x2 /* RTP comes inside the RTSP connection; a server refusing the RTP mode of the
                              * record is asked once for the other one, so this may differ from the record */
#define ZMS32_STATUS_RECORDING 0x4 /* the file exists and media has been written to it */
#define ZMS32_STATUS_WRITE_FAILED 0x8 /* writes are failing now (see writeError); what was written stays playable
                                      * and the relay tries again every few seconds: the bit clears when the
                                      * file takes data again */
#define ZMS32_STATUS_FILE_MISSING 0x10 /* the file is no longer at its path and cannot be made again there (the
                                       * name is taken by another file, the folder cannot be made) */
#define ZMS32_STATUS_REFUSED 0x20 /* the server refused the last reconnect (authentication, unknown stream), as a
                                   * recorder does after restarting its stream server with a new login key: the
                                   * relay goes on trying, but wants a new URL (zms32SetDispatchStreamUrl) */
#define ZMS32_STATUS_ENDED 0x40 /* the stream came back changed after a reconnect (picture size, parameter
                                 * sets, sound format): the file was finished cleanly and nothing more is
                                 * written; the caller destroys the stream and records on into a new file */
#define ZMS32_STATUS_RECREATED 0x80 /* the file was removed mid-recording (its folder too, perhaps) and was
                                     * made again at its path holding everything recorded so far */

typedef struct Zms32StreamStatus {
    int32_t flags; /* ZMS32_STATUS_* bits */
    int32_t audio; /* ZMS32_AUDIO_*; before the first keyframe is recorded, what is expected */
    int32_t writeError; /* errno of the failing write (ENOSPC: disk full), EIO for other failures, 0 while
                         * writing works */
    int32_t reconnects; /* times the connection was lost and opened again since the create call */
    int64_t recordedMs; /* media time in the file so far */
    int64_t msSincePacket; /* since the last packet came from the stream (it has gone silent when this
                            * grows; the relay reconnects after 5 s); -1 before the first */
    int64_t msSinceWrite; /* since media was last written to the file; -1 before the first */
} Zms32StreamStatus;

/* Fills *status for the stream from the create call's return until the destroy call, from any
 * thread; returns at once. ZMS32_ERR_WRONG_STATE when no stream is created, ZMS32_ERR_BAD_CONFIG when
 * status is null. */
ZMS32_API int32_t zms32GetDispatchStreamStatus(int32_t stream, Zms32StreamStatus *status);

/* Replaces the URL the stream's next connects use, for example with a fresh login key after the
 * recorder restarted its stream server. The recording goes on into the same file: a stream that is
 * reconnecting tries the new URL at once. The RTP mode of the record is kept. From any thread, between
 * the create and the destroy call. ZMS32_ERR_WRONG_STATE when no stream is created,
 * ZMS32_ERR_BAD_CONFIG when url is null, empty or longer than ZMS32_LEN_URL - 1 bytes. */
ZMS32_API int32_t zms32SetDispatchStreamUrl(int32_t stream, const char *url);

#ifdef __cplusplus
}
#endif

#endif
