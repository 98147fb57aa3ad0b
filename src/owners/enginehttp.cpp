#include "enginehttp.h"

#include <QLocalSocket>

namespace EngineHttp {

namespace {

// A chunked body ("size in hex [;extension] CRLF data CRLF ... 0 CRLF").
State decodeChunked(QByteArrayView rest, bool closed, QByteArray& body)
{
    const State incomplete = closed ? State::Failed : State::Incomplete;
    body.clear();
    for (;;) {
        const qsizetype end = rest.indexOf("\r\n");
        if (end < 0)
            return incomplete;
        QByteArrayView sizeText = rest.first(end);
        if (const qsizetype extension = sizeText.indexOf(';'); extension >= 0)
            sizeText.truncate(extension);
        bool ok = false;
        const qsizetype size = sizeText.size() <= 8 ? sizeText.trimmed().toLongLong(&ok, 16) : 0;
        if (!ok || size < 0)
            return State::Failed;
        rest = rest.sliced(end + 2);
        if (size == 0)
            return State::Done; // trailers, if any, say nothing we need
        if (rest.size() < size + 2)
            return incomplete;
        if (rest.sliced(size, 2) != "\r\n")
            return State::Failed;
        body += rest.first(size);
        rest = rest.sliced(size + 2);
    }
}

} // namespace

State parse(QByteArrayView answer, bool closed, Response& response)
{
    const State incomplete = closed ? State::Failed : State::Incomplete;
    const qsizetype headEnd = answer.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return incomplete;
    QByteArrayView head = answer.first(headEnd);
    const QByteArrayView rest = answer.sliced(headEnd + 4);
    const qsizetype statusEnd = head.indexOf("\r\n");
    const QByteArrayView status = statusEnd < 0 ? head : head.first(statusEnd);
    if (!status.startsWith("HTTP/1.") || status.size() < 12 || status[8] != ' ' ||
        (status.size() > 12 && status[12] != ' '))
        return State::Failed;
    response.status = 0;
    for (const char digit : status.sliced(9, 3)) {
        if (digit < '0' || digit > '9')
            return State::Failed;
        response.status = response.status * 10 + (digit - '0');
    }
    head = statusEnd < 0 ? QByteArrayView() : head.sliced(statusEnd + 2);

    bool chunked = false;
    qsizetype length = -1;
    while (!head.isEmpty()) {
        const qsizetype end = head.indexOf("\r\n");
        const QByteArrayView line = end < 0 ? head : head.first(end);
        head = end < 0 ? QByteArrayView() : head.sliced(end + 2);
        const qsizetype colon = line.indexOf(':');
        if (colon < 0)
            continue;
        const QByteArray name = line.first(colon).trimmed().toByteArray().toLower();
        const QByteArray value = line.sliced(colon + 1).trimmed().toByteArray().toLower();
        if (name == "transfer-encoding") {
            chunked = value.contains("chunked");
        } else if (name == "content-length") {
            bool ok = false;
            length = value.size() <= 10 ? value.toLongLong(&ok) : -1;
            if (!ok || length < 0)
                return State::Failed;
        }
    }
    // No content: 204 and 304 answers end with their head.
    if (response.status == 204 || response.status == 304) {
        response.body.clear();
        return State::Done;
    }
    if (chunked)
        return decodeChunked(rest, closed, response.body);
    if (length >= 0) {
        if (rest.size() < length)
            return incomplete;
        response.body = rest.first(length).toByteArray();
        return State::Done;
    }
    // Neither: the body ends where the engine closes the connection.
    if (!closed)
        return State::Incomplete;
    response.body = rest.toByteArray();
    return State::Done;
}

State readAnswer(QLocalSocket& socket, QByteArray& answer, Response& response)
{
    if (socket.isOpen())
        answer += socket.read(maxAnswerBytes + 1 - answer.size());
    if (answer.size() > maxAnswerBytes)
        return State::Failed;
    const bool closed =
        socket.state() != QLocalSocket::ConnectedState && socket.bytesAvailable() == 0;
    return parse(answer, closed, response);
}

bool isContainerReference(QStringView reference)
{
    if (reference.isEmpty() || reference.size() > 255)
        return false;
    for (qsizetype i = 0; i < reference.size(); ++i) {
        const char16_t c = reference[i].unicode();
        const bool alphanumeric =
            (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
        if (!alphanumeric && (i == 0 || (c != u'_' && c != u'.' && c != u'-')))
            return false;
    }
    return true;
}

} // namespace EngineHttp
