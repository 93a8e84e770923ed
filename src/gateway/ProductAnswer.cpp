#include "gateway/ProductAnswer.h"

#include "common/Ansi.h"
#include "gateway/Amount.h"
#include "gateway/ProductTarget.h"
#include "gateway/ProductValues.h"
#include "gateway/modProdUpdate.h"

namespace {

// The byte that separates the pieces ("ß" in Windows-1252).
constexpr char separator = char(0xDF);
constexpr qsizetype pieceCount = 12;

} // namespace

std::optional<ProductAnswer> ProductAnswer::parse(const QByteArray &answer)
{
    const QList<QByteArray> lines = modProdUpdate::answerLines(answer);
    if (lines.isEmpty())
        return std::nullopt;
    // Cut at the raw byte before decoding: the separator is a byte, not a
    // character that a decoding could move.
    const QList<QByteArray> pieces = lines.first().split(separator);
    if (pieces.size() != pieceCount)
        return std::nullopt;

    ProductAnswer result;
    for (const QByteArray &raw : pieces) {
        const QString piece = Ansi::decode(raw);
        const qsizetype equals = piece.indexOf(QLatin1Char('='));
        if (equals < 0)
            continue;
        const QStringView key = QStringView(piece).left(equals);
        const QString value = piece.mid(equals + 1);
        Piece converted{Key::ProductId, QString(), 0};
        if (key == QLatin1String("CPID")) {
            converted = {Key::ProductId, value};
        } else if (key == QLatin1String("PDesc")) {
            converted = {Key::Description, value};
        } else if (key == QLatin1String("CurVer")) {
            converted = {Key::Version, value};
        } else if (key == QLatin1String("Cost")) {
            const std::optional<Amount> amount = Amount::parse(value);
            if (!amount)
                return std::nullopt;
            converted = {Key::Price, amount->shown()};
        } else if (key == QLatin1String("DteC") || key == QLatin1String("DteE")) {
            const std::optional<QDate> date = ProductValues::toDate(value);
            if (!date)
                return std::nullopt;
            converted = {key == QLatin1String("DteC") ? Key::DateCreated : Key::DateModified,
                         ProductValues::shownDate(*date)};
        } else if (key == QLatin1String("CurType") || key == QLatin1String("SM")) {
            const bool currency = key == QLatin1String("CurType");
            const std::optional<int> code =
                ProductValues::toCode(value, currency ? ProductValues::lastCurrencyCode
                                                      : ProductValues::lastServiceModelCode);
            if (!code)
                return std::nullopt;
            converted = {currency ? Key::Currency : Key::ServiceModel, QString(), *code};
        } else if (key == QLatin1String("LP") || key == QLatin1String("PO") ||
                   key == QLatin1String("SysLock")) {
            const std::optional<bool> flag = ProductValues::toBoolean(value);
            if (!flag)
                return std::nullopt;
            const Key which = key == QLatin1String("LP")   ? Key::Lock
                              : key == QLatin1String("PO") ? Key::PermitOlder
                                                           : Key::SystemLock;
            converted = {which, QString(), *flag ? 1 : 0};
        } else {
            continue;
        }
        result.m_pieces.append(converted);
    }
    return result;
}

void ProductAnswer::applyTo(ProductTarget &target, bool &systemLock) const
{
    for (const Piece &piece : m_pieces) {
        switch (piece.key) {
        case Key::ProductId:
            target.setProductId(piece.text);
            break;
        case Key::Description:
            target.setDescription(piece.text);
            break;
        case Key::Price:
            target.setPrice(piece.text);
            break;
        case Key::Currency:
            target.setCurrency(piece.number);
            break;
        case Key::ServiceModel:
            target.setServiceModel(piece.number);
            break;
        case Key::Version:
            target.setVersion(piece.text);
            break;
        case Key::DateCreated:
            target.setDateCreated(piece.text);
            break;
        case Key::DateModified:
            target.setDateModified(piece.text);
            break;
        case Key::Lock:
            target.setLock(piece.number != 0);
            break;
        case Key::PermitOlder:
            target.setPermitOlder(piece.number != 0);
            break;
        case Key::SystemLock:
            systemLock = piece.number != 0;
            break;
        }
    }
}
