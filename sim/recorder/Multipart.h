#pragma once
// Reader of multipart/form-data bodies, for the image uploads the simulated
// recorder receives.

#include "SimHttpServer.h"

#include <QByteArray>
#include <QList>

#include <optional>

namespace Qurel::Sim {

struct MultipartPart
{
    HeaderList headers;
    QByteArray name; // Content-Disposition name
    QByteArray fileName; // Content-Disposition filename, empty when absent
    QByteArray contentType; // the part's Content-Type
    QByteArray data;

    QByteArray header(const QByteArray &headerName) const { return HeaderValue(headers, headerName); }
};

// The boundary parameter of a Content-Type header, or empty.
QByteArray MultipartBoundary(const QByteArray &contentType);

// The parts of a multipart body; nullopt when the body is not well formed
// (no boundary, no closing delimiter, a part without a header block).
std::optional<QList<MultipartPart>> ParseMultipart(const QByteArray &contentType, const QByteArray &body);

} // namespace Qurel::Sim
