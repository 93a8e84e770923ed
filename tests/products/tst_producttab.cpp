// The Product Properties tab used as a developer uses it, against the
// sandbox gateway: what it shows, and what reaches the sandbox's catalogue.
#include "common/PendingEvents.h"
#include "gateway/ProductValues.h"
#include "shell/frmMain.h"
#include "support/FakeHttpServer.h"
#include "support/RecordingSink.h"
#include "support/SandboxProcess.h"
#include "support/TestEnvironment.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <utility>

namespace {

using Icon = Messages::Icon;

QString message(Icon icon, const char *title, const char *text, bool question = false)
{
    return RecordingSink::line(icon, QLatin1String(title), QString::fromUtf8(text), question);
}

// The sandbox's catalogue on disk, a product a line.
QStringList catalogue(const QTemporaryDir &data)
{
    QFile file(data.filePath(QStringLiteral("catalogue.json")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList products;
    const QJsonArray list =
        QJsonDocument::fromJson(file.readAll()).object().value(QLatin1String("products")).toArray();
    for (const QJsonValue &v : list) {
        const auto field = [&v](const char *key) {
            return v.toObject().value(QLatin1String(key)).toVariant().toString();
        };
        QStringList values;
        for (const char *key : {"CPID", "PDesc", "Cost", "CurType", "SM", "CurVer"})
            values.append(field(key));
        products.append(values.join(QLatin1Char('|')) +
                        QStringLiteral("|LP=%1|PO=%2").arg(field("LP"), field("PO")));
    }
    return products;
}

// The main window of a developer with the sandbox account, started and
// shown; every message recorded.
struct Window
{
    TestEnvironment env;
    RecordingSink sink;
    std::unique_ptr<frmMain> window;

    Window()
    {
        env.createStore(SandboxProcess::developerKey(), SandboxProcess::encryptionKey());
        window = std::make_unique<frmMain>();
    }
    bool load()
    {
        if (!window->Form_Load())
            return false;
        window->show();
        sink.clear();
        return QTest::qWaitForWindowActive(window.get());
    }
    template<typename T> T *find(const char *name)
    {
        return window->findChild<T *>(QLatin1String(name));
    }
    void selectTab(int tab) { find<QTabBar>("tabForm")->setCurrentIndex(tab - 1); }
    void click(const char *name) { QTest::mouseClick(find<QAbstractButton>(name), Qt::LeftButton); }
    // Replaces a text box's text by typing, as a user would.
    void type(const char *box, const QString &text)
    {
        auto *edit = find<QLineEdit>(box);
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }
    void choose(const char *list, int index)
    {
        auto *combo = find<QComboBox>(list);
        combo->setFocus();
        while (combo->currentIndex() != index)
            QTest::keyClick(combo, combo->currentIndex() < index ? Qt::Key_Down : Qt::Key_Up);
    }
    QStringList messages() const { return sink.lines(); }
    // The fields as shown: texts, list items, boxes (+ checked), then the
    // display.
    QString shown()
    {
        QStringList parts;
        for (const char *box : {"txtProdID", "txtProdDesc", "txtCurrentVersion", "txtProdPrice",
                                "txtDateCreated", "txtDateModified"})
            parts.append(find<QLineEdit>(box)->text());
        for (const char *list : {"cboServiceModel", "cboCurrencyType"})
            parts.append(find<QComboBox>(list)->currentText());
        for (const char *box : {"chkPermitOlder", "chkLockProduct"})
            parts.append(QLatin1String(find<QCheckBox>(box)->isChecked() ? "+" : "-"));
        parts.append(find<QLabel>("lblProdDisplay")->text());
        return parts.join(QLatin1Char('|'));
    }
    // Which controls take input: the eight fields (all or none, "F" or
    // "f"), then Save, Reset and New Product ("1" or "0").
    QString enabled()
    {
        int fields = 0;
        for (const char *name :
             {"txtProdID", "txtProdDesc", "txtCurrentVersion", "chkPermitOlder", "cboServiceModel",
              "txtProdPrice", "chkLockProduct", "cboCurrencyType"})
            fields += find<QWidget>(name)->isEnabled();
        QString flags = fields == 8   ? QStringLiteral("F")
                        : fields == 0 ? QStringLiteral("f")
                                      : QStringLiteral("?");
        for (const char *name : {"cmdSave", "cmdResetForm", "cmdNewProduct"})
            flags += QLatin1Char(find<QWidget>(name)->isEnabled() ? '1' : '0');
        return flags;
    }
    QColor displayColour()
    {
        return find<QLabel>("lblProdDisplay")->palette().color(QPalette::WindowText);
    }
};

QString today()
{
    return ProductValues::shownDate(QDate::currentDate());
}

const QColor navy(0, 0, 128);
const QColor red(255, 0, 0);

// Whether an arrow image points right: its leftmost painted column is
// taller than its rightmost one.
bool pointsRight(const QIcon &icon)
{
    const QImage image = icon.pixmap(24, 24).toImage();
    QList<int> heights;
    for (int x = 0; x < image.width(); ++x) {
        int painted = 0;
        for (int y = 0; y < image.height(); ++y)
            painted += qAlpha(image.pixel(x, y)) > 128;
        if (painted)
            heights.append(painted);
    }
    return heights.size() > 4 && heights.first() > heights.last();
}

} // namespace

class TestProductTab : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qputenv("VARNELL_HTTP_TIMEOUT_MS", "5000"); }
    void cleanup() { PendingEvents::setHandler({}); }
    void controls();
    void editingSession();
    void emptyCatalogueAndServerDown();
    void clickDuringALoadAndClosing();
};

void TestProductTab::controls()
{
    QTemporaryDir data;
    SandboxProcess sandbox({}, data.path());
    useProxy(sandbox.proxyUrl());
    Window w;
    QVERIFY(w.load());
    // Start-up filled the lists, in code order, with nothing selected.
    auto *service = w.find<QComboBox>("cboServiceModel");
    auto *currency = w.find<QComboBox>("cboCurrencyType");
    QCOMPARE(service->count() + currency->count(), 7);
    QCOMPARE(service->itemText(2) + currency->itemText(0) + currency->itemText(3),
             QStringLiteral("Reseller ServiceUSD___United_State_DollarAUD___Australian_Dollar"));
    QCOMPARE(service->currentIndex() + currency->currentIndex(), -2);

    // Design places in twips (- where the layout decides), tips and
    // captions, as a developer knows them: a control of each kind.
    const char *const controls[] = {
        "txtProdID 2040 360 1335 345|The Product ID of this Product|",
        "cboServiceModel 2040 1800 4215 360||",
        "chkLockProduct 4560 2280 1695 375|Do not allow the product to be purchased.|Lock Product",
        "cboCurrencyType 2040 2760 4215 360|The type of currency to use in a purchase.|",
        "txtDateModified 4920 3240 1335 360|The date this product was last modified.|",
        "lblDateModified 3480 3240 - -||Date Modified:",
        "lblProdDisplay 600 30 975 405||<NONE>",
        "cmdNextProduct 1725 30 375 375||",
        "cmdSave 120 - 1575 495||Save Information",
    };
    for (const char *row : controls) {
        const QStringList parts = QString::fromUtf8(row).split(QLatin1Char('|'));
        const QStringList place = parts.at(0).split(QLatin1Char(' '));
        auto *widget = w.find<QWidget>(qPrintable(place.at(0)));
        QVERIFY2(widget, row);
        const QRectF at = w.window->toTwips(widget->geometry());
        const double actual[] = {at.left(), at.top(), at.width(), at.height()};
        for (int i = 0; i < 4; ++i)
            QVERIFY2(place.at(i + 1) == QLatin1String("-") ||
                         qAbs(actual[i] - place.at(i + 1).toDouble()) < 15,
                     row);
        QCOMPARE(widget->toolTip(), parts.at(1));
        QCOMPARE(widget->inherits("QLineEdit") ? QString() : widget->property("text").toString(),
                 parts.at(2));
    }
    QVERIFY(w.find<QLineEdit>("txtProdID")->isReadOnly());

    // Tab order, the fields top to bottom, then the picker and the buttons.
    const QStringList order =
        QStringLiteral("txtProdID txtProdDesc txtCurrentVersion chkPermitOlder "
                       "cboServiceModel txtProdPrice chkLockProduct cboCurrencyType "
                       "txtDateCreated txtDateModified cmdPrevProduct cmdNextProduct "
                       "cmdSave cmdResetForm cmdNewProduct")
            .split(QLatin1Char(' '));
    QStringList chain;
    for (QWidget *next = w.find<QWidget>("txtProdID"); chain.size() < order.size();
         next = next->nextInFocusChain()) {
        if (order.contains(next->objectName()))
            chain.append(next->objectName());
    }
    QCOMPARE(chain, order);

    // The dates are never editable, on the button face; the display is
    // large and navy; the picker's arrows point the way they step.
    for (const char *date : {"txtDateCreated", "txtDateModified"}) {
        auto *box = w.find<QLineEdit>(date);
        QVERIFY(!box->isEnabled());
        QCOMPARE(box->palette().color(QPalette::Disabled, QPalette::Base),
                 box->palette().color(QPalette::Disabled, QPalette::Button));
    }
    QCOMPARE(w.find<QLabel>("lblProdDisplay")->font().pointSizeF(), 18.0);
    QCOMPARE(w.displayColour(), navy);
    QVERIFY(pointsRight(w.find<QPushButton>("cmdNextProduct")->icon()));
    QVERIFY(!pointsRight(w.find<QPushButton>("cmdPrevProduct")->icon()));
    QVERIFY(w.find<QPushButton>("cmdPrevProduct")->text().isEmpty());
}

void TestProductTab::editingSession()
{
    QTemporaryDir data;
    SandboxProcess sandbox({}, data.path());
    useProxy(sandbox.proxyUrl());
    Window w;
    QVERIFY(w.load());
    auto *note = w.find<QLineEdit>("txtProgress");
    // While the tab loads the fields take no input, and once the count is
    // known the note shows over the frame.
    QSet<QString> seen;
    PendingEvents::setHandler([&] {
        seen.insert(QStringLiteral("%1 %2").arg(note->isVisible()).arg(w.enabled().at(0)));
    });
    w.selectTab(3);
    PendingEvents::setHandler({});
    QCOMPARE(seen, (QSet<QString>{QStringLiteral("0 f"), QStringLiteral("1 f")}));
    QVERIFY(!note->isVisible());
    QCOMPARE(w.shown(), QStringLiteral("1|Café Ledger|3.2.1|$49.95|14/Mar/2021|02/Nov/2024|"
                                       "Standard Service|USD___United_State_Dollar|+|-|1/4"));
    QCOMPARE(w.enabled(), QStringLiteral("F001"));

    // The lock question: No leaves the box clear and the record clean;
    // Yes checks it and marks the record changed.
    w.sink.answers = {false};
    w.click("chkLockProduct");
    QCOMPARE(w.shown().section(QLatin1Char('|'), 9) + w.enabled(), QStringLiteral("-|1/4F001"));
    w.sink.answers = {true};
    w.click("chkLockProduct");
    QCOMPARE(w.shown().section(QLatin1Char('|'), 9) + w.enabled(), QStringLiteral("+|1/4F110"));
    // A price typed as the tab shows prices is read back; the change
    // reaches the catalogue.
    w.type("txtProdDesc", QStringLiteral("Ledger Pro & Co"));
    w.type("txtProdPrice", QStringLiteral("$1,234.50"));
    w.click("cmdSave");
    QCOMPARE(catalogue(data).value(0),
             QStringLiteral("1|Ledger Pro & Co|1234.5|0|1|3.2.1|LP=true|PO=true"));
    QCOMPARE(catalogue(data).size(), 4);
    QCOMPARE(catalogue(data).value(1),
             QStringLiteral("2|Résumé Builder|19.5|2|0|1.0.4|LP=false|PO=false"));
    QCOMPARE(w.enabled(), QStringLiteral("F001"));

    // Product 3 is locked by its developer: no question. Product 4 is
    // locked by the administrator: red, nothing to edit.
    w.click("cmdNextProduct");
    w.click("cmdNextProduct");
    QVERIFY(w.find<QCheckBox>("chkLockProduct")->isChecked());
    w.click("cmdNextProduct");
    QCOMPARE(w.shown().section(QLatin1Char('|'), 10) + w.enabled(), QStringLiteral("4/4f001"));
    QCOMPARE(w.displayColour(), red);
    const QString lockQuestion =
        message(Icon::None, "Lock Product?",
                "If a product is locked, users will NOT be able to purchase this product.\r\nDo "
                "you wish to lock this product?",
                true);
    QCOMPARE(w.messages(),
             (QStringList{
                 lockQuestion, lockQuestion,
                 message(Icon::Information, "Update Successful", "The product has been updated."),
                 message(Icon::Exclamation, "Product System Lock",
                         "This product has been locked by the system administrator.\r\n"
                         "Please contact Ostrand for information on why this is "
                         "locked.")}));

    // A new product, 5 of 4: a version with a letter is refused when the
    // field is left (the click on Save goes nowhere), a reseller product
    // under $1.00 when it is saved; then it is added.
    w.click("cmdNewProduct");
    QCOMPARE(w.shown(), QStringLiteral("5||||%1|%1|||+|-|5/4").arg(today()));
    QCOMPARE(w.displayColour(), navy);
    w.sink.clear();
    w.type("txtProdDesc", QStringLiteral("Ledger Lite #2"));
    w.choose("cboServiceModel", 2);
    w.choose("cboCurrencyType", 1);
    w.type("txtProdPrice", QStringLiteral("0.99"));
    w.type("txtCurrentVersion", QStringLiteral("1.0b"));
    w.click("cmdSave");
    QTRY_VERIFY(w.find<QLineEdit>("txtCurrentVersion")->hasFocus());
    w.type("txtCurrentVersion", QStringLiteral("1.0"));
    w.click("cmdSave");
    w.type("txtProdPrice", QStringLiteral("1"));
    w.click("cmdSave");
    QCOMPARE(w.messages(),
             (QStringList{message(Icon::Information, "Invalid Version",
                                  "You can only include numbers and periods in the version "
                                  "field."),
                          message(Icon::Exclamation, "Invalid Option",
                                  "The purchase price of a product using the reseller service "
                                  "cannot be less than $1.00"),
                          message(Icon::Information, "Update Successful",
                                  "The product has been updated.")}));
    QCOMPARE(catalogue(data).value(4),
             QStringLiteral("5|Ledger Lite #2|1|1|2|1.0|LP=false|PO=true"));
    QCOMPARE(w.shown().section(QLatin1Char('|'), 10) + w.enabled(), QStringLiteral("5/5F001"));
    w.click("cmdNextProduct");
    QCOMPARE(w.shown().section(QLatin1Char('|'), 10), QStringLiteral("5/5"));

    // Choosing the tab again reloads from the first product, without asking
    // about a change.
    w.sink.clear();
    w.type("txtProdDesc", QStringLiteral("dropped"));
    w.selectTab(1);
    w.selectTab(3);
    QCOMPARE(w.shown().section(QLatin1Char('|'), 10) + w.enabled(), QStringLiteral("1/5F001"));
    QCOMPARE(w.messages(), QStringList());
}

void TestProductTab::emptyCatalogueAndServerDown()
{
    QTemporaryDir data;
    QFile file(data.filePath(QStringLiteral("catalogue.json")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("{\"products\": []}") > 0);
    file.close();
    SandboxProcess sandbox({}, data.path());
    useProxy(sandbox.proxyUrl());
    Window w;
    QVERIFY(w.load());
    // No products: a first product's defaults, only New Product on.
    w.selectTab(3);
    QCOMPARE(
        w.shown(),
        QStringLiteral("1||0||%1|%1|Basic Service|CAD___Canadian_Dollar|+|-|<NONE>").arg(today()));
    QCOMPARE(w.enabled(), QStringLiteral("f001"));
    QCOMPARE(w.messages(), QStringList());

    // The server cannot be reached: told so, and nothing can be done.
    useProxy(deadProxy());
    w.selectTab(1);
    w.selectTab(3);
    QCOMPARE(w.messages(),
             QStringList{message(Icon::Exclamation, "Server Unavailable",
                                 "There has been an error retrieving your account "
                                 "information.\r\nThe processing server may not be available at "
                                 "this time.\r\n\r\nPlease contact Ostrand.")});
    QCOMPARE(w.shown().section(QLatin1Char('|'), 10) + w.enabled(), QStringLiteral("<NONE>f000"));
    QVERIFY(!w.find<QLineEdit>("txtProgress")->isVisible());
}

void TestProductTab::clickDuringALoadAndClosing()
{
    QTemporaryDir data;
    SandboxProcess sandbox({}, data.path());
    useProxy(sandbox.proxyUrl());
    {
        // Next pressed again while product 2 loads runs when the load lets
        // pending events run: the tab ends on product 3, in order.
        Window w;
        QVERIFY(w.load());
        // Another tab chosen while this one loads is the one shown after.
        bool switched = false;
        PendingEvents::setHandler([&] {
            if (!std::exchange(switched, true))
                w.selectTab(5);
        });
        w.selectTab(3);
        QVERIFY(w.find<QWidget>("fraStats")->isVisible());
        QVERIFY(!w.find<QWidget>("fraProduct")->isVisible());
        QCOMPARE(w.window->lastTab(), 5);
        w.selectTab(3);
        bool clicked = false;
        PendingEvents::setHandler([&] {
            if (!std::exchange(clicked, true))
                w.click("cmdNextProduct");
        });
        w.click("cmdNextProduct");
        PendingEvents::setHandler({});
        QCOMPARE(w.shown().section(QLatin1Char('|'), 0, 1) + w.enabled(),
                 QStringLiteral("3|Widget ProF001"));
        QCOMPARE(w.shown().section(QLatin1Char('|'), 10) + w.messages().join(QLatin1Char(',')),
                 QStringLiteral("3/4"));
    }
    // The window closed while the count is awaited: the request ends at
    // once and nothing more is said.
    Window w;
    QVERIFY(w.load());
    FakeHttpServer hanging;
    hanging.fallback = FakeHttpServer::behave(FakeHttpServer::Behaviour::Hang);
    QVERIFY(hanging.useAsProxy());
    QTimer::singleShot(300, w.window.get(), [&] { w.window->close(); });
    QElapsedTimer clock;
    clock.start();
    w.selectTab(3);
    QVERIFY(clock.elapsed() < 4000);
    QVERIFY(!w.window->isVisible());
    QCOMPARE(w.messages(), QStringList());
}

QTEST_MAIN(TestProductTab)
#include "tst_producttab.moc"
