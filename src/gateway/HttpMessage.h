#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Reading HTTP/1.1 messages as they arrive on a connection: the program's
// client reads answers with it, the sandbox reads requests. Strict where a
// lax reading could let one message pass for another (conflicting lengths,
// folded or malformed header lines, bare CRs), lenient only where every
// reader is (a bare LF ends a line).
namespace Http {

// A hexadecimal digit's value, or -1 for any other character.
int hexDigit(char c);

struct Header
{
    QByteArray name;
    QByteArray value; // without the blanks around it
};

// The start line's three parts and the header lines of one message.
struct Head
{
    // A request: method, target and version ("GET", "/x?y", "HTTP/1.1").
    // An answer: version, status code and reason ("HTTP/1.1", "200", "OK").
    QByteArray first;
    QByteArray second;
    QByteArray third;
    QList<Header> headers;

    // Every value of the header with that name (names compare without regard
    // to letter case), in the order sent.
    QList<QByteArray> values(QByteArrayView name) const;
    // The first value, or a null array when the header is absent.
    QByteArray value(QByteArrayView name) const;
    // The answer's status code, or -1 when the second part is no code.
    int status() const;
};

// Reads one message from the bytes of a connection, fed in pieces as they
// come. A request without Content-Length or Transfer-Encoding has no body;
// an answer without either runs to the end of the connection. An answer
// with status 1xx (but 101) is an interim one and is skipped.
class MessageReader
{
public:
    enum class Kind
    {
        Request,
        Answer
    };
    enum class State
    {
        Head,     // the head is not complete yet
        Body,     // the head is read, the body is not complete yet
        Complete, // a whole message is read; remainder() holds what followed it
        Failed    // the bytes are no acceptable message; see error()
    };
    // Why reading failed, for a server to pick its answer.
    enum class Failure
    {
        None,
        Malformed,    // 400
        HeadTooLarge, // 431
        BodyTooLarge, // 413
        Unsupported,  // 501: a transfer coding other than chunked
        Truncated     // the connection ended inside the message
    };

    MessageReader(Kind kind, qint64 maxBodySize, qsizetype maxHeadSize = 64 * 1024);

    // Takes the next bytes of the connection; the state after them.
    State feed(QByteArrayView bytes);
    // The connection has ended: completes a body that runs to the end,
    // fails a message that was cut short.
    State finish();

    State state() const { return m_state; }
    Failure failure() const { return m_failure; }
    QString error() const { return m_error; }
    const Head &head() const { return m_head; }
    const QByteArray &body() const { return m_body; }
    // Bytes that followed a complete message (a pipelined next request).
    QByteArray remainder() const { return m_buffer; }

private:
    enum class Framing
    {
        None,
        Length,
        Chunked,
        UntilClose
    };
    enum class ChunkPart
    {
        Size,
        Data,
        DataEnd,
        Trailer
    };

    State fail(Failure failure, const QString &error);
    State readHead();
    State startBody();
    State readBody();
    State readChunks();
    // The next line of m_buffer from m_offset, without its line end; false
    // when no whole line is there yet.
    bool takeLine(QByteArray &line);
    bool appendBody(QByteArrayView bytes);

    Kind m_kind;
    qint64 m_maxBodySize;
    qsizetype m_maxHeadSize;
    State m_state = State::Head;
    Failure m_failure = Failure::None;
    QString m_error;
    QByteArray m_buffer; // bytes not yet consumed, from m_offset on
    qsizetype m_offset = 0;
    Head m_head;
    QList<QByteArray> m_headLines;
    qsizetype m_headSize = 0;
    // 1xx answers read before the real one, at most maxInterimAnswers.
    static constexpr int maxInterimAnswers = 8;
    int m_interimAnswers = 0;
    Framing m_framing = Framing::None;
    qint64 m_remaining = 0; // of the body or of the current chunk
    ChunkPart m_chunkPart = ChunkPart::Size;
    QByteArray m_body;
};

} // namespace Http
