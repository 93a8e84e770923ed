// The product editor's rules, driven as the tab's controls drive them, on a
// catalogue held in the test: its state table, stepping, saving, the lock
// question and reset.
#include "common/PendingEvents.h"
#include "gateway/Amount.h"
#include "gateway/ProductRecord.h"
#include "gateway/ProductValues.h"
#include "products/ProductEditor.h"
#include "support/RecordingSink.h"

#include <QDate>
#include <QTest>

namespace {

using Icon = Messages::Icon;

ProductRecord product(const char *id, const char *description, const char *price, int currency,
                      int serviceModel, bool lock, bool systemLock = false)
{
    ProductRecord p;
    p.productId = QLatin1String(id);
    p.description = QLatin1String(description);
    p.price = QLatin1String(price);
    p.currency = currency;
    p.serviceModel = serviceModel;
    p.version = QStringLiteral("1.0");
    p.dateCreated = QStringLiteral("05/Nov/2002");
    p.dateModified = QStringLiteral("06/Nov/2002");
    p.lock = lock;
    p.permitOlder = true;
    p.systemLock = systemLock;
    return p;
}

// Keeps the products as the central server would: an update of an ID one
// above the count adds a product, another changes it.
struct Catalogue final : ProductEditor::Server
{
    QList<ProductRecord> products{product("1", "Alpha", "$10.00", 0, 0, false),
                                  product("2", "Beta", "$20.00", 1, 1, false),
                                  product("3", "Gamma", "$30.00", 2, 2, true)};
    bool down = false;
    int countAnswer = -2; // another count than the catalogue's, when 0 or more
    int fetches = 0;
    QStringList sent;
    bool locked = false;

    qint16 count() override
    {
        return down ? -1 : qint16(countAnswer >= 0 ? countAnswer : products.size());
    }
    bool fetch(qint16 position, ProductTarget &target) override
    {
        ++fetches;
        if (down || position < 1 || position > products.size())
            return false;
        const ProductRecord &p = products.at(position - 1);
        target.setCurrency(p.currency);
        target.setVersion(p.version);
        target.setDateCreated(p.dateCreated);
        target.setDateModified(p.dateModified);
        target.setLock(p.lock);
        target.setPermitOlder(p.permitOlder);
        target.setPrice(p.price);
        target.setDescription(p.description);
        target.setProductId(p.productId);
        target.setServiceModel(p.serviceModel);
        locked = p.systemLock;
        return true;
    }
    bool systemLocked() override { return locked; }
    bool update(qint16 id, const Amount &price, const ProductForm &f) override
    {
        if (down)
            return false;
        sent.append(QStringLiteral("%1|%2|%3|%4|%5|%6|%7|%8")
                        .arg(id)
                        .arg(price.plain())
                        .arg(f.permitOlder)
                        .arg(f.lock)
                        .arg(f.currency)
                        .arg(f.serviceModel)
                        .arg(f.version, f.description));
        ProductRecord p = product("", "", "", f.currency, f.serviceModel, f.lock);
        p.productId = QString::number(id);
        p.description = f.description;
        p.price = price.shown();
        p.version = f.version;
        if (id == products.size() + 1)
            products.append(p);
        else if (id >= 1 && id <= products.size())
            products[id - 1] = p;
        return true;
    }
};

QString message(Icon icon, const QString &title, const QString &text, bool question = false)
{
    return QStringLiteral("%1|%2|%3%4")
        .arg(int(icon))
        .arg(title, text, QLatin1String(question ? "?" : ""));
}

QStringList said(const RecordingSink &sink)
{
    QStringList all;
    for (const RecordingSink::Message &m : sink.messages)
        all.append(message(m.icon, m.title, m.text, m.question));
    return all;
}

// Which controls are on: fields, Save, Reset, New Product, as "1101".
QString enabled(const ProductEditor &e)
{
    return QStringLiteral("%1%2%3%4")
        .arg(e.fieldsEnabled())
        .arg(e.saveEnabled())
        .arg(e.resetEnabled())
        .arg(e.newProductEnabled());
}

const QString changedQuestion = message(Icon::None, QStringLiteral("Information Changed"),
                                        QStringLiteral("This record has been changed.  Do you "
                                                       "wish to update the information on the "
                                                       "server?"),
                                        true);

} // namespace

class TestProductEditor : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { PendingEvents::setHandler({}); }
    void loadingAndStepping();
    void unavailableEmptyAndFailedLoads();
    void newProductAndSave();
    void unsavedChangesAndRefusedSaves();
    void lockQuestionAndReset();
};

void TestProductEditor::loadingAndStepping()
{
    RecordingSink sink;
    Catalogue server;
    ProductEditor editor(server);
    // At each point where pending events run: the note, and whether the
    // fields take input.
    QStringList seen;
    PendingEvents::setHandler([&] {
        seen.append(QStringLiteral("%1 %2 %3")
                        .arg(editor.progressShown())
                        .arg(editor.progressNote())
                        .arg(editor.fieldsEnabled()));
    });
    editor.LoadProductList();
    QCOMPARE(seen, (QStringList{QStringLiteral("1 Retrieving Product List... 0"),
                                QStringLiteral("1 Retrieving Product List... 0"),
                                QStringLiteral("1 Retrieving Product Information... 0")}));
    // Product 1 of 3, clean: only New Product besides the fields.
    QCOMPARE(editor.display(), QStringLiteral("1/3"));
    QCOMPARE(editor.displayColour(), ProductEditor::Colour::Navy);
    QCOMPARE(editor.fields().description, QStringLiteral("Alpha"));
    QCOMPARE(enabled(editor), QStringLiteral("1001"));
    QVERIFY(!editor.progressShown() && !editor.recordChanged());

    // Previous on the first and Next on the last do nothing, not even ask.
    editor.cmdPrevProduct_Click();
    QCOMPARE(server.fetches, 1);
    editor.cmdNextProduct_Click();
    editor.cmdNextProduct_Click();
    QCOMPARE(editor.display(), QStringLiteral("3/3"));
    editor.cmdNextProduct_Click();
    QCOMPARE(server.fetches, 3);
    // Product 3 is locked by its developer: loading it checks the box
    // without the lock question, and leaves the record clean.
    QVERIFY(editor.fields().lock);
    QCOMPARE(enabled(editor), QStringLiteral("1001"));
    QCOMPARE(said(sink), QStringList());
}

void TestProductEditor::unavailableEmptyAndFailedLoads()
{
    RecordingSink sink;
    Catalogue server;
    ProductEditor editor(server);
    // The count fails: "<NONE>", nothing can be done.
    server.down = true;
    editor.LoadProductList();
    QCOMPARE(said(sink),
             QStringList{message(Icon::Exclamation, QStringLiteral("Server Unavailable"),
                                 QStringLiteral("There has been an error retrieving "
                                                "your account information.\r\nThe "
                                                "processing server may not be "
                                                "available at this time.\r\n\r\n"
                                                "Please contact Ostrand."))});
    QCOMPARE(editor.display() + enabled(editor), QStringLiteral("<NONE>0000"));
    QVERIFY(!editor.progressShown());

    // No products: a first product's defaults, disabled; only New Product.
    sink.clear();
    server.down = false;
    server.products.clear();
    editor.LoadProductList();
    const ProductForm f = editor.fields();
    const QString today = ProductValues::shownDate(QDate::currentDate());
    QCOMPARE(QStringList(
                 {f.productId, f.description, f.price, f.version, f.dateCreated, f.dateModified}),
             QStringList(
                 {QStringLiteral("1"), QString(), QString(), QStringLiteral("0"), today, today}));
    QVERIFY(f.serviceModel == 0 && f.currency == 1 && f.permitOlder && !f.lock);
    QCOMPARE(editor.display() + enabled(editor), QStringLiteral("<NONE>0001"));
    QCOMPARE(said(sink), QStringList());
    editor.cmdNextProduct_Click();
    QCOMPARE(server.fetches, 0);

    // A fetch that fails while stepping: the new position is kept, the last
    // product's values stay in disabled fields, the display and the buttons
    // as they were; stepping goes on from the new position.
    server.products = Catalogue().products;
    server.products[2].systemLock = true;
    editor.LoadProductList();
    server.down = true;
    editor.cmdNextProduct_Click();
    QCOMPARE(said(sink), QStringList{message(Icon::None, QStringLiteral("Varnell Decryptor"),
                                             QStringLiteral("There was an error retrieving the "
                                                            "product information."))});
    QCOMPARE(editor.currentProduct(), 2);
    QCOMPARE(editor.display() + enabled(editor) + editor.fields().description,
             QStringLiteral("1/30001Alpha"));
    // The product locked by the administrator: red, shown but not editable.
    sink.clear();
    server.down = false;
    editor.cmdNextProduct_Click();
    QCOMPARE(editor.display() + enabled(editor), QStringLiteral("3/30001"));
    QCOMPARE(editor.displayColour(), ProductEditor::Colour::Red);
    QCOMPARE(said(sink),
             QStringList{message(Icon::Exclamation, QStringLiteral("Product System Lock"),
                                 QStringLiteral("This product has been locked by the system "
                                                "administrator.\r\nPlease contact Ostrand for "
                                                "information on why this is locked."))});

    // Once the window has closed, a failure shows nothing.
    sink.clear();
    editor.setSilenced([] { return true; });
    server.down = true;
    editor.LoadProductList();
    QCOMPARE(said(sink), QStringList());
}

void TestProductEditor::newProductAndSave()
{
    RecordingSink sink;
    Catalogue server;
    ProductEditor editor(server);
    editor.LoadProductList();
    // Three products: the new one is 4 of 3, empty, nothing to save yet.
    editor.cmdNewProduct_Click();
    ProductForm f = editor.fields();
    QCOMPARE(editor.display() + enabled(editor) + f.productId, QStringLiteral("4/310004"));
    QVERIFY(f.description.isEmpty() && f.price.isEmpty() && f.version.isEmpty());
    QVERIFY(f.currency == -1 && f.serviceModel == -1 && f.permitOlder && !f.lock);
    QCOMPARE(f.dateCreated, ProductValues::shownDate(QDate::currentDate()));
    editor.setDescription(QStringLiteral("Deluxe edition"));
    QCOMPARE(enabled(editor), QStringLiteral("1110"));
    editor.setVersion(QStringLiteral("2.1"));
    editor.setCurrency(0);
    editor.setServiceModel(1);
    editor.setPrice(QStringLiteral("$1,234.50"));
    editor.cmdSave_Click();
    QCOMPARE(server.sent, QStringList{QStringLiteral("4|1234.5|1|0|0|1|2.1|Deluxe edition")});
    QCOMPARE(said(sink), QStringList{message(Icon::Information, QStringLiteral("Update Successful"),
                                             QStringLiteral("The product has been updated."))});
    // Saved: 4 of 4, clean, and nothing after it.
    QCOMPARE(editor.display() + enabled(editor), QStringLiteral("4/41001"));
    QVERIFY(editor.lastSaveOk());
    editor.cmdNextProduct_Click();
    QCOMPARE(server.fetches, 1);

    // A second new product left unsaved with Previous: the count stays at
    // the products saved, the product before it is shown.
    editor.cmdNewProduct_Click();
    editor.setDescription(QStringLiteral("never saved"));
    sink.answers = {false};
    editor.cmdPrevProduct_Click();
    QCOMPARE(editor.productCount(), 4);
    QCOMPARE(editor.display() + editor.fields().description, QStringLiteral("4/4Deluxe edition"));
    QCOMPARE(server.sent.size(), 1);
}

void TestProductEditor::unsavedChangesAndRefusedSaves()
{
    RecordingSink sink;
    Catalogue server;
    ProductEditor editor(server);
    editor.LoadProductList();
    // A change asks before Next; No drops it and moves on.
    editor.setDescription(QStringLiteral("changed"));
    QCOMPARE(enabled(editor), QStringLiteral("1110"));
    editor.cmdNextProduct_Click();
    QCOMPARE(said(sink), QStringList{changedQuestion});
    QCOMPARE(editor.display() + editor.fields().description, QStringLiteral("2/3Beta"));
    // Yes with an empty version: refused, the editor stays, still changed.
    sink.clear();
    editor.setVersion(QString());
    sink.answers = {true};
    editor.cmdPrevProduct_Click();
    QCOMPARE(said(sink).value(1),
             message(Icon::Information, QStringLiteral("Missing Information"),
                     QStringLiteral("All fields must be filled out to add or update a product.")));
    QCOMPARE(editor.display() + enabled(editor), QStringLiteral("2/31110"));
    QVERIFY(!editor.lastSaveOk());

    // A failed update: told, and nothing changes.
    sink.clear();
    editor.setVersion(QStringLiteral("1.1"));
    server.down = true;
    editor.cmdSave_Click();
    QCOMPARE(said(sink),
             QStringList{message(Icon::Information, QStringLiteral("Update Not Successful"),
                                 QStringLiteral("The product could not be updated."))});
    QCOMPARE(editor.display() + enabled(editor), QStringLiteral("2/31110"));
    server.down = false;

    // A price that does not read as an amount, and a product ID one beyond
    // the 16-bit range (a new product after 32767): refused, nothing sent.
    sink.clear();
    editor.setPrice(QStringLiteral("12,34"));
    editor.cmdSave_Click();
    server.countAnswer = 32767;
    editor.LoadProductList();
    editor.cmdNewProduct_Click();
    editor.setDescription(QStringLiteral("one too many"));
    editor.setVersion(QStringLiteral("1"));
    editor.setPrice(QStringLiteral("5"));
    editor.setCurrency(0);
    editor.setServiceModel(0);
    QCOMPARE(editor.fields().productId, QStringLiteral("32768"));
    editor.cmdSave_Click();
    const QString format = QStringLiteral("Invalid Format");
    QCOMPARE(said(sink), (QStringList{message(Icon::Information, format,
                                              QStringLiteral("The Price must be a numeric value.")),
                                      message(Icon::Information, format,
                                              QStringLiteral("The Product ID must be numeric."))}));
    QVERIFY(server.sent.isEmpty() && editor.saveEnabled() && !editor.lastSaveOk());
}

void TestProductEditor::lockQuestionAndReset()
{
    RecordingSink sink;
    Catalogue server;
    ProductEditor editor(server);
    editor.LoadProductList();
    const QString lockQuestion =
        message(Icon::None, QStringLiteral("Lock Product?"),
                QStringLiteral("If a product is locked, users will NOT be able to purchase this "
                               "product.\r\nDo you wish to lock this product?"),
                true);
    // No: the box is clear again and nothing changed. Yes: changed.
    editor.setLock(true);
    QVERIFY(!editor.fields().lock && !editor.recordChanged());
    sink.answers = {true};
    editor.setLock(true);
    QVERIFY(editor.fields().lock && editor.recordChanged());
    QCOMPARE(said(sink), (QStringList{lockQuestion, lockQuestion}));
    // Clearing it never asks.
    editor.setLock(false);
    QCOMPARE(sink.messages.size(), 2);

    // Reset on product 3, whose lock was cleared: the lock comes back
    // without the question, and the record is clean afterwards.
    editor.cmdNextProduct_Click();
    editor.cmdNextProduct_Click();
    sink.clear();
    editor.setLock(false);
    editor.setDescription(QStringLiteral("edited"));
    editor.cmdResetForm_Click();
    QVERIFY(editor.fields().lock);
    QCOMPARE(editor.fields().description, QStringLiteral("Gamma"));
    QCOMPARE(editor.display() + enabled(editor), QStringLiteral("3/31001"));
    QCOMPARE(said(sink), QStringList());

    // A reset that cannot fetch keeps the edits and the changed state.
    editor.setDescription(QStringLiteral("edited"));
    server.down = true;
    editor.cmdResetForm_Click();
    QCOMPARE(said(sink),
             QStringList{message(Icon::Information, QStringLiteral("Information not retrieved"),
                                 QStringLiteral("The product could not be "
                                                "retreived."))});
    QCOMPARE(editor.fields().description + enabled(editor), QStringLiteral("edited1110"));
}

QTEST_GUILESS_MAIN(TestProductEditor)
#include "tst_producteditor.moc"
