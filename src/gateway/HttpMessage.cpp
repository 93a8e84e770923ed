#include "gateway/HttpMessage.h"

#include <algorithm>

namespace Http {

namespace {

// Header lines beyond this many make the head too large.
constexpr qsizetype maxHeaderCount = 100;
// A chunk-size line longer than this is no chunk-size line.
constexpr qsizetype maxChunkLine = 1024;

bool isTokenChar(char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    return QByteArrayView("!#$%&'*+-.^_`|~").contains(c);
}

bool isToken(QByteArrayView text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), isTokenChar);
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArray trimmedBlanks(QByteArrayView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin).toByteArray();
}

// "HTTP/" digit "." digit
bool isVersion(QByteArrayView text)
{
    return text.size() == 8 && text.startsWith("HTTP/") && text[5] >= '0' && text[5] <= '9' &&
           text[6] == '.' && text[7] >= '0' && text[7] <= '9';
}

bool isDigits(QByteArrayView text)
{
    return !text.isEmpty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

QList<QByteArray> Head::values(QByteArrayView name) const
{
    QList<QByteArray> found;
    for (const Header &header : headers) {
        if (header.name.compare(name, Qt::CaseInsensitive) == 0)
            found.append(header.value);
    }
    return found;
}

QByteArray Head::value(QByteArrayView name) const
{
    for (const Header &header : headers) {
        if (header.name.compare(name, Qt::CaseInsensitive) == 0)
            return header.value;
    }
    return QByteArray();
}

int Head::status() const
{
    return second.size() == 3 && isDigits(second) ? second.toInt() : -1;
}

MessageReader::MessageReader(Kind kind, qint64 maxBodySize, qsizetype maxHeadSize)
    : m_kind(kind), m_maxBodySize(maxBodySize), m_maxHeadSize(maxHeadSize)
{}

MessageReader::State MessageReader::feed(QByteArrayView bytes)
{
    if (m_state == State::Failed)
        return m_state;
    m_buffer.append(bytes.data(), bytes.size());
    if (m_state == State::Head)
        readHead();
    if (m_state == State::Body)
        readBody();
    if (m_state != State::Complete) {
        m_buffer.remove(0, m_offset);
        m_offset = 0;
    }
    return m_state;
}

MessageReader::State MessageReader::finish()
{
    if (m_state == State::Body && m_framing == Framing::UntilClose) {
        m_state = State::Complete;
        return m_state;
    }
    if (m_state == State::Head && m_headSize == 0 && m_buffer.size() == m_offset)
        return fail(Failure::Truncated,
                    QStringLiteral("the connection was closed before anything was sent"));
    if (m_state == State::Head || m_state == State::Body)
        return fail(Failure::Truncated,
                    QStringLiteral("the connection was closed before the whole message came"));
    return m_state;
}

MessageReader::State MessageReader::fail(Failure failure, const QString &error)
{
    m_state = State::Failed;
    m_failure = failure;
    m_error = error;
    m_buffer.clear();
    m_offset = 0;
    return m_state;
}

bool MessageReader::takeLine(QByteArray &line)
{
    const qsizetype end = m_buffer.indexOf('\n', m_offset);
    if (end < 0)
        return false;
    qsizetype length = end - m_offset;
    if (length > 0 && m_buffer.at(end - 1) == '\r')
        --length;
    line = m_buffer.mid(m_offset, length);
    m_offset = end + 1;
    return true;
}

MessageReader::State MessageReader::readHead()
{
    QByteArray line;
    for (;;) {
        const qsizetype before = m_offset;
        if (!takeLine(line)) {
            if (m_headSize + (m_buffer.size() - m_offset) > m_maxHeadSize)
                return fail(Failure::HeadTooLarge, QStringLiteral("the head is too large"));
            return m_state;
        }
        m_headSize += m_offset - before;
        if (m_headSize > m_maxHeadSize || m_headLines.size() > maxHeaderCount)
            return fail(Failure::HeadTooLarge, QStringLiteral("the head is too large"));
        if (line.contains('\r') || line.contains('\0'))
            return fail(Failure::Malformed, QStringLiteral("a head line holds a stray control"));
        if (!line.isEmpty()) {
            m_headLines.append(line);
            continue;
        }
        // Empty lines before a request line are tolerated, as servers do.
        if (m_headLines.isEmpty() && m_kind == Kind::Request)
            continue;
        if (m_headLines.isEmpty())
            return fail(Failure::Malformed, QStringLiteral("the answer has no status line"));
        break;
    }

    Head head;
    const QByteArray &first = m_headLines.first();
    if (m_kind == Kind::Request) {
        const QList<QByteArray> parts = first.split(' ');
        if (parts.size() != 3 || !isToken(parts[0]) || parts[1].isEmpty() || !isVersion(parts[2]))
            return fail(Failure::Malformed, QStringLiteral("malformed request line"));
        head.first = parts[0];
        head.second = parts[1];
        head.third = parts[2];
    } else {
        const qsizetype space = first.indexOf(' ');
        head.first = first.left(space);
        const QByteArray rest = space < 0 ? QByteArray() : first.mid(space + 1);
        const qsizetype space2 = rest.indexOf(' ');
        head.second = space2 < 0 ? rest : rest.left(space2);
        head.third = space2 < 0 ? QByteArray() : rest.mid(space2 + 1);
        if (!isVersion(head.first) || head.status() < 100)
            return fail(Failure::Malformed, QStringLiteral("malformed status line"));
    }
    for (qsizetype i = 1; i < m_headLines.size(); ++i) {
        const QByteArray &line = m_headLines[i];
        const qsizetype colon = line.indexOf(':');
        // A line that starts with a blank would continue the one before it;
        // that folding is refused, as is a blank before the colon.
        if (colon <= 0 || !isToken(QByteArrayView(line).first(colon)))
            return fail(Failure::Malformed, QStringLiteral("malformed header line"));
        const QByteArray value = trimmedBlanks(QByteArrayView(line).sliced(colon + 1));
        for (char c : value) {
            const auto byte = static_cast<unsigned char>(c);
            if ((byte < 0x20 && c != '\t') || byte == 0x7f)
                return fail(Failure::Malformed, QStringLiteral("a header value holds a control"));
        }
        head.headers.append({line.left(colon), value});
    }
    m_headLines.clear();

    // An interim answer (100 Continue and the like) is followed by the real one.
    const int status = head.status();
    // A server may send a few; one that sends them without end is refused,
    // as an answer whose head never ends would be.
    if (m_kind == Kind::Answer && status >= 100 && status < 200 && status != 101) {
        if (++m_interimAnswers > maxInterimAnswers)
            return fail(Failure::HeadTooLarge, QStringLiteral("too many interim answers"));
        m_headSize = 0;
        return readHead();
    }
    m_head = std::move(head);
    return startBody();
}

MessageReader::State MessageReader::startBody()
{
    m_state = State::Body;
    const QList<QByteArray> codings = m_head.values("Transfer-Encoding");
    const QList<QByteArray> lengths = m_head.values("Content-Length");
    const int status = m_head.status();
    if (m_kind == Kind::Answer && (status < 200 || status == 204 || status == 304)) {
        m_framing = Framing::None;
    } else if (!codings.isEmpty()) {
        // A message with both could be read two ways by two readers.
        if (!lengths.isEmpty())
            return fail(Failure::Malformed,
                        QStringLiteral("both Transfer-Encoding and Content-Length are given"));
        QList<QByteArray> names;
        for (const QByteArray &value : codings) {
            for (const QByteArray &name : value.split(','))
                names.append(trimmedBlanks(name).toLower());
        }
        if (names != QList<QByteArray>{"chunked"})
            return fail(Failure::Unsupported, QStringLiteral("unsupported transfer coding"));
        m_framing = Framing::Chunked;
        m_chunkPart = ChunkPart::Size;
    } else if (!lengths.isEmpty()) {
        if (lengths.size() > 1)
            return fail(Failure::Malformed, QStringLiteral("Content-Length is given twice"));
        const QByteArray &length = lengths.first();
        if (!isDigits(length) || length.size() > 18)
            return fail(Failure::Malformed, QStringLiteral("malformed Content-Length"));
        m_remaining = length.toLongLong();
        if (m_remaining > m_maxBodySize)
            return fail(Failure::BodyTooLarge,
                        QStringLiteral("the body is larger than %1 bytes").arg(m_maxBodySize));
        m_framing = Framing::Length;
    } else {
        m_framing = m_kind == Kind::Request ? Framing::None : Framing::UntilClose;
    }
    m_body = QByteArray("");
    return readBody();
}

bool MessageReader::appendBody(QByteArrayView bytes)
{
    if (m_body.size() + bytes.size() > m_maxBodySize) {
        fail(Failure::BodyTooLarge,
             QStringLiteral("the body is larger than %1 bytes").arg(m_maxBodySize));
        return false;
    }
    m_body.append(bytes.data(), bytes.size());
    return true;
}

MessageReader::State MessageReader::readBody()
{
    const qsizetype available = m_buffer.size() - m_offset;
    switch (m_framing) {
    case Framing::None:
        m_state = State::Complete;
        break;
    case Framing::UntilClose:
        if (appendBody(QByteArrayView(m_buffer).sliced(m_offset)))
            m_offset = m_buffer.size();
        break;
    case Framing::Length: {
        const qsizetype take = qsizetype(std::min<qint64>(m_remaining, available));
        appendBody(QByteArrayView(m_buffer).sliced(m_offset, take));
        m_offset += take;
        m_remaining -= take;
        if (m_remaining == 0)
            m_state = State::Complete;
        break;
    }
    case Framing::Chunked:
        readChunks();
        break;
    }
    if (m_state == State::Complete) {
        m_buffer.remove(0, m_offset);
        m_offset = 0;
    }
    return m_state;
}

MessageReader::State MessageReader::readChunks()
{
    QByteArray line;
    while (m_state == State::Body) {
        switch (m_chunkPart) {
        case ChunkPart::Size: {
            if (!takeLine(line)) {
                if (m_buffer.size() - m_offset > maxChunkLine)
                    return fail(Failure::Malformed, QStringLiteral("malformed chunk size"));
                return m_state;
            }
            // Hex digits, then optional blanks and extensions, which carry
            // nothing this program uses.
            qint64 size = 0;
            qsizetype i = 0;
            for (; i < line.size() && hexDigit(line[i]) >= 0; ++i) {
                if (i >= 15)
                    return fail(Failure::Malformed, QStringLiteral("malformed chunk size"));
                size = size * 16 + hexDigit(line[i]);
            }
            const QByteArray rest = trimmedBlanks(QByteArrayView(line).sliced(i));
            if (i == 0 || (!rest.isEmpty() && !rest.startsWith(';')))
                return fail(Failure::Malformed, QStringLiteral("malformed chunk size"));
            if (m_body.size() + size > m_maxBodySize)
                return fail(Failure::BodyTooLarge,
                            QStringLiteral("the body is larger than %1 bytes").arg(m_maxBodySize));
            m_remaining = size;
            m_chunkPart = size == 0 ? ChunkPart::Trailer : ChunkPart::Data;
            break;
        }
        case ChunkPart::Data: {
            const qsizetype available = m_buffer.size() - m_offset;
            if (available == 0)
                return m_state;
            const qsizetype take = qsizetype(std::min<qint64>(m_remaining, available));
            if (!appendBody(QByteArrayView(m_buffer).sliced(m_offset, take)))
                return m_state;
            m_offset += take;
            m_remaining -= take;
            if (m_remaining == 0)
                m_chunkPart = ChunkPart::DataEnd;
            break;
        }
        case ChunkPart::DataEnd:
            if (!takeLine(line)) {
                if (m_buffer.size() - m_offset > 1)
                    return fail(Failure::Malformed, QStringLiteral("a chunk is longer than said"));
                return m_state;
            }
            if (!line.isEmpty())
                return fail(Failure::Malformed, QStringLiteral("a chunk is longer than said"));
            m_chunkPart = ChunkPart::Size;
            break;
        case ChunkPart::Trailer: {
            const qsizetype before = m_offset;
            if (!takeLine(line)) {
                if (m_headSize + (m_buffer.size() - m_offset) > m_maxHeadSize)
                    return fail(Failure::HeadTooLarge, QStringLiteral("the trailer is too large"));
                return m_state;
            }
            // Trailer fields are read past; they only count against the head's size.
            m_headSize += m_offset - before;
            if (m_headSize > m_maxHeadSize)
                return fail(Failure::HeadTooLarge, QStringLiteral("the trailer is too large"));
            if (line.isEmpty())
                m_state = State::Complete;
            break;
        }
        }
    }
    return m_state;
}

} // namespace Http
