#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

class QLocalSocket;

// The little of HTTP/1.1 that a container engine's API on its local socket needs: one
// request per connection, the answer read until it is whole. Answers are bounded in size,
// and names are checked before they go into a request.
namespace EngineHttp {

// Some hundred bytes a container in a list; a few thousand containers fit.
inline constexpr qsizetype maxAnswerBytes = 4 * 1024 * 1024;

enum class State
{
    Incomplete,
    Failed,
    Done,
};

struct Response
{
    int status = 0;
    QByteArray body;
};

// The status and body of an answer once the whole of it is there (closed: the engine has
// closed the connection, so nothing more comes).
State parse(QByteArrayView answer, bool closed, Response& response);

// Adds what SOCKET has to ANSWER, at most maxAnswerBytes in all (more fails), and parses it.
State readAnswer(QLocalSocket& socket, QByteArray& answer, Response& response);

// A container's name ("web", "my_app.1") or id (hex, short or whole), as the engine allows
// them: nothing else ever reaches a request or the screen.
bool isContainerReference(QStringView reference);

} // namespace EngineHttp
