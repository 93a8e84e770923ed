#include "products/ProductRules.h"

#include <QTest>

using ProductRules::Check;

Q_DECLARE_METATYPE(ProductForm)

class TestProductRules : public QObject
{
    Q_OBJECT

private slots:
    void saveChecks_data();
    void saveChecks();
    void fieldChecks();
};

void TestProductRules::saveChecks_data()
{
    QTest::addColumn<ProductForm>("form");
    QTest::addColumn<QString>("title"); // empty: saved
    QTest::addColumn<int>("icon");
    const auto row = [](const char *name, const char *id, const char *description,
                        const char *price, const char *version, int currency, int serviceModel,
                        const char *title, Messages::Icon icon = Messages::Icon::Information) {
        ProductForm form;
        form.productId = QString::fromUtf8(id);
        form.description = QString::fromUtf8(description);
        form.price = QString::fromUtf8(price);
        form.version = QString::fromUtf8(version);
        form.currency = currency;
        form.serviceModel = serviceModel;
        QTest::newRow(name) << form << QString::fromUtf8(title) << int(icon);
    };
    const auto bang = Messages::Icon::Exclamation;
    row("complete", "4", "Deluxe", "19.95", "2.1", 0, 1, "");
    row("blank description is not empty", "4", "   ", "19.95", "2.1", 0, 1, "");
    row("shown price", "4", "Deluxe", "$1,234.50", "1.2.10", 1, 0, "");
    row("empty id", "", "Deluxe", "19.95", "2.1", 0, 1, "Missing Information");
    row("empty version", "4", "Deluxe", "19.95", "", 0, 1, "Missing Information");
    row("no currency", "4", "Deluxe", "19.95", "2.1", -1, 1, "Missing Information");
    row("id not a number", "four", "Deluxe", "19.95", "2.1", 0, 1, "Invalid Format");
    row("id beyond 16 bits", "32768", "Deluxe", "19.95", "2.1", 0, 1, "Invalid Format");
    row("version with a letter", "4", "Deluxe", "19.95", "1.2b", 0, 1, "Invalid Version");
    row("price not a number", "4", "Deluxe", "cheap", "2.1", 0, 1, "Invalid Format");
    row("description that cannot be sent", "4", "\xe4\xb8\xad", "19.95", "2.1", 0, 1,
        "Invalid Description");
    row("description with the separator", "4",
        "Stra\xc3\x9f"
        "e",
        "19.95", "2.1", 0, 1, "Invalid Description");
    for (const char *broken : {"Two\r\nlines", "Tab\tbed", "Bell\x07", "Del\x7f"})
        row(broken, "4", broken, "19.95", "2.1", 0, 1, "Invalid Description");
    row("reseller in EUR", "4", "Deluxe", "19.95", "2.1", 2, 2, "Invalid Selection", bang);
    row("reseller at $0.99", "4", "Deluxe", "$0.99", "2.1", 1, 2, "Invalid Option", bang);
    row("reseller at $1.00", "4", "Deluxe", "$1.00", "2.1", 0, 2, "");
    row("basic at $0.00", "4", "Deluxe", "$0.00", "2.1", 2, 0, "Invalid Price");
    row("basic at $0.01", "4", "Deluxe", "$0.01", "2.1", 3, 0, "");
}

void TestProductRules::saveChecks()
{
    QFETCH(ProductForm, form);
    QFETCH(QString, title);
    QFETCH(int, icon);
    const Check refusal = ProductRules::saveChecks(form);
    QCOMPARE(refusal ? refusal->title : QString(), title);
    if (refusal) {
        QCOMPARE(int(refusal->icon), icon);
        QVERIFY(!refusal->text.isEmpty());
    } else {
        QVERIFY(ProductRules::productIdValue(form.productId).has_value());
    }
}

void TestProductRules::fieldChecks()
{
    // Leaving a field empty passes its own check; Save refuses it.
    QVERIFY(!ProductRules::validateVersion(QString()));
    QVERIFY(!ProductRules::validateProductId(QString()));
    QVERIFY(!ProductRules::validatePrice(QString()));
    QVERIFY(ProductRules::missingInformation(ProductForm()));
    QCOMPARE(ProductRules::productIdValue(QStringLiteral("17")), std::optional<qint16>(17));
    QCOMPARE(ProductRules::productIdValue(QStringLiteral("0")), std::optional<qint16>());
}

QTEST_GUILESS_MAIN(TestProductRules)
#include "tst_productrules.moc"
