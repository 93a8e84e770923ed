// The sandbox's reading of requests: the bytes of a connection through the
// message reader, then the request target's rules and decoding.
#include "FuzzSupport.h"

#include "gateway/HttpMessage.h"
#include "sandbox/RequestTarget.h"

namespace {

constexpr qint64 maxBody = 4096;

QByteArray describe(const Http::MessageReader &reader)
{
    const Http::Head &head = reader.head();
    QByteArray out =
        QByteArray::number(int(reader.state())) + '|' + QByteArray::number(int(reader.failure()));
    if (reader.state() == Http::MessageReader::State::Complete) {
        out += '|' + head.first + ' ' + head.second + ' ' + head.third;
        for (const Http::Header &header : head.headers)
            out += '|' + header.name + ':' + header.value;
        out += '|' + reader.body() + '|' + reader.remainder();
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes = FuzzSupport::bytes(data, size);

    // Where the pieces of a connection break changes nothing.
    Http::MessageReader whole(Http::MessageReader::Kind::Request, maxBody);
    whole.feed(bytes);
    Http::MessageReader pieces(Http::MessageReader::Kind::Request, maxBody);
    const qsizetype split = size ? qsizetype(data[0]) % (bytes.size() + 1) : 0;
    pieces.feed(QByteArrayView(bytes).first(split));
    pieces.feed(QByteArrayView(bytes).sliced(split));
    FUZZ_CHECK(describe(whole) == describe(pieces));
    if (whole.state() != Http::MessageReader::State::Complete)
        return 0;

    const Http::Head &head = whole.head();
    FUZZ_CHECK(whole.body().size() <= maxBody);
    for (const QByteArray &part : {head.first, head.second, head.third})
        FUZZ_CHECK(!part.contains('\r') && !part.contains('\n') && !part.contains(' '));
    for (const Http::Header &header : head.headers)
        FUZZ_CHECK(!header.name.isEmpty() && !header.value.contains('\r') &&
                   !header.value.contains('\n'));

    // A target the sandbox serves decodes into a host without upper case or
    // port and a path without runs of "/".
    const QList<QByteArray> hosts = head.values("Host");
    if (!RequestTarget::refusal(head.second, hosts, head.third == "HTTP/1.0").isEmpty())
        return 0;
    const RequestTarget target = RequestTarget::parse(head.second, hosts.value(0));
    FUZZ_CHECK(target.host == target.host.toLower());
    FUZZ_CHECK(!target.path.contains("//"));
    for (const auto &[name, value] : target.queryItems())
        FUZZ_CHECK(name.size() + value.size() <= target.query.size());
    FUZZ_CHECK(percentDecode(head.second).size() <= head.second.size());
    return 0;
}
