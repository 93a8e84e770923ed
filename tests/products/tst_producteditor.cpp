// The product editor's rules where a real server cannot easily go: fetches
// and updates that fail on cue, a count at the top of the 16-bit range, and
// the steps between saves. The tab against the sandbox is tst_producttab.
#include "gateway/Amount.h"
#include "products/ProductEditor.h"
#include "support/RecordingSink.h"

#include <QTest>

namespace {

using Icon = Messages::Icon;

// Products as the central server keeps them: an update of the ID one above
// the count adds a product, another changes it.
struct Server final : ProductEditor::Server
{
    // Description and lock flag of each product.
    QList<std::pair<QString, bool>> products{{QStringLiteral("Alpha"), false},
                                             {QStringLiteral("Beta"), false},
                                             {QStringLiteral("Gamma"), true}};
    bool down = false;
    int countAnswer = -1; // used instead of the catalogue's count when 0 or more
    int fetches = 0;
    std::function<void()> duringFetch;
    QStringList sent;

    qint16 count() override
    {
        return down ? -1 : qint16(countAnswer >= 0 ? countAnswer : products.size());
    }
    bool fetch(qint16 position, ProductTarget &target) override
    {
        ++fetches;
        // A click that the pending events of a download run, once.
        if (duringFetch)
            std::exchange(duringFetch, {})();
        if (down || position < 1 || position > products.size())
            return false;
        target.setLock(products.at(position - 1).second);
        target.setProductId(QString::number(position));
        target.setDescription(products.at(position - 1).first);
        target.setVersion(QStringLiteral("1.0"));
        target.setPrice(QStringLiteral("$10.00"));
        target.setCurrency(0);
        target.setServiceModel(0);
        return true;
    }
    bool systemLocked() override { return false; }
    bool update(qint16 id, const Amount &price, const ProductForm &f) override
    {
        if (down)
            return false;
        sent.append(
            QStringLiteral("%1|%2|%3|%4").arg(id).arg(price.plain(), f.version, f.description));
        if (id == products.size() + 1)
            products.append({f.description, f.lock});
        else
            products[id - 1] = {f.description, f.lock};
        return true;
    }
};

QString said(Icon icon, const char *title, const char *text)
{
    return RecordingSink::line(icon, QLatin1String(title), QLatin1String(text));
}

// The display, then which controls are on (fields, Save, Reset, New
// Product), then the description: "2/3 1110 Beta".
QString state(const ProductEditor &e)
{
    return QStringLiteral("%1 %2%3%4%5 %6")
        .arg(e.display())
        .arg(e.fieldsEnabled())
        .arg(e.saveEnabled())
        .arg(e.resetEnabled())
        .arg(e.newProductEnabled())
        .arg(e.fields().description);
}

void fillIn(ProductEditor &editor, const char *description)
{
    editor.setDescription(QLatin1String(description));
    editor.setVersion(QStringLiteral("2.1"));
    editor.setPrice(QStringLiteral("$1,234.50"));
    editor.setCurrency(0);
    editor.setServiceModel(1);
}

} // namespace

class TestProductEditor : public QObject
{
    Q_OBJECT

private slots:
    void steppingAndFailedFetches();
    void savingAndLeavingUnsavedProducts();
    void resetIsALoad();
};

void TestProductEditor::steppingAndFailedFetches()
{
    RecordingSink sink;
    Server server;
    ProductEditor editor(server);
    editor.LoadProductList();
    QCOMPARE(state(editor), QStringLiteral("1/3 1001 Alpha"));
    // Previous on the first product asks the server nothing.
    editor.cmdPrevProduct_Click();
    QCOMPARE(server.fetches, 1);

    // A fetch that fails while stepping: the new position is kept, the last
    // product's values stay in disabled fields, the display and the buttons
    // stay as they were; stepping goes on from the new position.
    server.down = true;
    editor.cmdNextProduct_Click();
    QCOMPARE(sink.lines(), QStringList{said(Icon::None, "Varnell Decryptor",
                                            "There was an error retrieving the product "
                                            "information.")});
    QCOMPARE(editor.currentProduct(), 2);
    QCOMPARE(state(editor), QStringLiteral("1/3 0001 Alpha"));
    server.down = false;
    editor.cmdNextProduct_Click();
    QCOMPARE(state(editor), QStringLiteral("3/3 1001 Gamma"));
    // Next on the last product asks nothing either.
    editor.cmdNextProduct_Click();
    QCOMPARE(server.fetches, 3);

    // Previous clicked while the step to a locked product waits for its
    // answer: the later load's product is shown, and the earlier answer
    // neither asks the lock question nor fills the fields.
    editor.cmdPrevProduct_Click();
    server.duringFetch = [&] { editor.cmdPrevProduct_Click(); };
    editor.cmdNextProduct_Click();
    QCOMPARE(state(editor), QStringLiteral("2/3 1001 Beta"));
    QVERIFY(!editor.fields().lock && !editor.recordChanged() && sink.lines().size() == 1);

    // Once the window has closed, failures say nothing.
    sink.clear();
    editor.setSilenced([] { return true; });
    server.down = true;
    editor.LoadProductList();
    editor.cmdNextProduct_Click();
    QCOMPARE(sink.lines(), QStringList());
}

void TestProductEditor::savingAndLeavingUnsavedProducts()
{
    RecordingSink sink;
    Server server;
    ProductEditor editor(server);
    editor.LoadProductList();
    // A change asks before Next: No drops it and moves on; Yes with an empty
    // version refuses the save and stays.
    editor.setDescription(QStringLiteral("changed"));
    editor.cmdNextProduct_Click();
    QCOMPARE(state(editor), QStringLiteral("2/3 1001 Beta"));
    editor.setVersion(QString());
    sink.answers = {true};
    editor.cmdPrevProduct_Click();
    QCOMPARE(state(editor), QStringLiteral("2/3 1110 Beta"));
    QVERIFY(!editor.lastSaveOk());
    // An update that fails: told, and the record stays changed.
    editor.setVersion(QStringLiteral("1.1"));
    server.down = true;
    editor.cmdSave_Click();
    QCOMPARE(state(editor), QStringLiteral("2/3 1110 Beta"));
    server.down = false;
    const QString question =
        QStringLiteral("0|Information Changed|This record has been changed.  Do you wish to update "
                       "the information on the server??");
    QCOMPARE(sink.lines(),
             (QStringList{question, question,
                          said(Icon::Information, "Missing Information",
                               "All fields must be filled out to add or update a product."),
                          said(Icon::Information, "Update Not Successful",
                               "The product could not be updated.")}));
    QVERIFY(server.sent.isEmpty());

    // A new product saved counts; one left unsaved with Previous does not:
    // the product before it is shown with the count of saved products.
    editor.cmdResetForm_Click();
    editor.cmdNewProduct_Click();
    fillIn(editor, "Deluxe");
    editor.cmdSave_Click();
    QCOMPARE(state(editor), QStringLiteral("4/4 1001 Deluxe"));
    editor.cmdNewProduct_Click();
    fillIn(editor, "never saved");
    sink.answers = {false};
    editor.cmdPrevProduct_Click();
    QCOMPARE(state(editor), QStringLiteral("4/4 1001 Deluxe"));
    QCOMPARE(editor.productCount(), 4);
    QCOMPARE(server.sent, QStringList{QStringLiteral("4|1234.5|2.1|Deluxe")});
    // Saved after a step whose fetch failed (the position moved on to 6),
    // the new product 5 raises the count to 5 only.
    editor.cmdNewProduct_Click();
    fillIn(editor, "Extra");
    sink.answers = {false};
    editor.cmdNextProduct_Click();
    editor.cmdSave_Click();
    QCOMPARE(server.sent.last(), QStringLiteral("5|1234.5|2.1|Extra"));
    QCOMPARE(editor.productCount(), 5);

    // What the update cannot carry is refused, and nothing is sent: a price
    // that is no amount, and the product ID one beyond the 16-bit range (a
    // new product after 32767).
    sink.clear();
    editor.setPrice(QStringLiteral("12,34"));
    editor.cmdSave_Click();
    server.countAnswer = 32767;
    editor.LoadProductList();
    editor.cmdNewProduct_Click();
    fillIn(editor, "one too many");
    QCOMPARE(editor.fields().productId, QStringLiteral("32768"));
    editor.cmdSave_Click();
    QCOMPARE(sink.lines(),
             (QStringList{
                 said(Icon::Information, "Invalid Format", "The Price must be a numeric value."),
                 said(Icon::Information, "Invalid Format", "The Product ID must be numeric.")}));
    QCOMPARE(server.sent.size(), 2);
    QVERIFY(editor.saveEnabled() && !editor.lastSaveOk());
}

void TestProductEditor::resetIsALoad()
{
    RecordingSink sink;
    Server server;
    ProductEditor editor(server);
    editor.LoadProductList();
    editor.cmdNextProduct_Click();
    editor.cmdNextProduct_Click();
    // Product 3 is locked by its developer. Its box cleared (no question)
    // and a change made, Reset brings both back without the lock question,
    // and the record is clean afterwards.
    editor.setLock(false);
    editor.setDescription(QStringLiteral("edited"));
    editor.cmdResetForm_Click();
    QVERIFY(editor.fields().lock);
    QCOMPARE(state(editor), QStringLiteral("3/3 1001 Gamma"));
    QCOMPARE(sink.lines(), QStringList());

    // A reset that cannot fetch keeps the edits and the changed state.
    editor.setDescription(QStringLiteral("edited"));
    server.down = true;
    editor.cmdResetForm_Click();
    QCOMPARE(sink.lines(), QStringList{said(Icon::Information, "Information not retrieved",
                                            "The product could not be retreived.")});
    QCOMPARE(state(editor), QStringLiteral("3/3 1110 edited"));
}

QTEST_GUILESS_MAIN(TestProductEditor)
#include "tst_producteditor.moc"
