#pragma once
// One upload pass over the recordings: each video, then its thumbnail when
// the video was accepted; the refusals' messages are collected in order.

#include "UploadAddress.h"

#include <functional>

namespace Qurel {

// Posts one file to the address; true when accepted, else `message` may say why.
using UploadFileFunction = std::function<bool(const QString &url, const QString &fileName, QString &message)>;

// Adds a message to the collected errors, separated by ";" CR LF; empty messages add nothing.
void AppendError(QString &errors, const QString &message);

// Runs the pass over each recording's FGuid, FVideoName and FPicName and returns the collected error messages
// (empty when none).
QString RunUploadPass(
    const TFileInfoList &recordings, const QString &host, int port, const UploadFileFunction &uploadFile);

} // namespace Qurel
