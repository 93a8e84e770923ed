#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

class ProductTarget;

// The first line of a product answer: twelve pieces separated by the byte
// 0xDF, each key=value. Every value is converted when the answer is read, so
// an answer is either applied whole or not at all.
class ProductAnswer
{
public:
    // The answer when its first line is well formed and every known key's
    // value converts; no value otherwise. Pieces with an unknown key, without
    // "=" or empty are passed over.
    static std::optional<ProductAnswer> parse(const QByteArray &answer);

    // Applies the pieces in their order, so a later duplicate wins. The system
    // lock changes only when the answer carries SysLock.
    void applyTo(ProductTarget &target, bool &systemLock) const;

private:
    enum class Key
    {
        ProductId,
        Description,
        Price,
        Currency,
        ServiceModel,
        Version,
        DateCreated,
        DateModified,
        Lock,
        PermitOlder,
        SystemLock
    };
    struct Piece
    {
        Key key;
        QString text;   // texts as shown
        int number = 0; // codes and Booleans
    };
    QList<Piece> m_pieces;
};
