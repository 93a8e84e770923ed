#include "products/ProductEditor.h"

#include "common/PendingEvents.h"
#include "gateway/Amount.h"
#include "gateway/ProductQueries.h"
#include "gateway/ProductValues.h"
#include "gateway/modProdUpdate.h"

#include <QDate>

namespace {

using Messages::Icon;

class CentralServer final : public ProductEditor::Server
{
public:
    qint16 count() override { return modProdUpdate::GetProductCount(); }
    bool fetch(qint16 position, ProductTarget &target) override
    {
        return modProdUpdate::GetProductInfo(position, target);
    }
    bool systemLocked() override { return modProdUpdate::IsSystemLocked(); }
    bool update(qint16 productId, const Amount &price, const ProductForm &form) override
    {
        return modProdUpdate::UpdateProduct(productId, price, form.description, form.permitOlder,
                                            form.lock, form.currency, qint16(form.serviceModel),
                                            form.version);
    }
};

// The highest position a request can name.
constexpr int lastPosition = 32767;

// Hands an answer on to the editor only while its load is the latest: a
// click run by the pending events during a download starts a newer load,
// whose product is the one shown.
class LatestLoad final : public ProductTarget
{
public:
    LatestLoad(ProductTarget &editor, std::function<bool()> latest)
        : m_editor(editor), m_latest(std::move(latest))
    {}
    void setProductId(const QString &text) override { pass(&ProductTarget::setProductId, text); }
    void setDescription(const QString &text) override
    {
        pass(&ProductTarget::setDescription, text);
    }
    void setVersion(const QString &text) override { pass(&ProductTarget::setVersion, text); }
    void setPrice(const QString &text) override { pass(&ProductTarget::setPrice, text); }
    void setDateCreated(const QString &text) override
    {
        pass(&ProductTarget::setDateCreated, text);
    }
    void setDateModified(const QString &text) override
    {
        pass(&ProductTarget::setDateModified, text);
    }
    void setPermitOlder(bool checked) override { pass(&ProductTarget::setPermitOlder, checked); }
    void setLock(bool checked) override { pass(&ProductTarget::setLock, checked); }
    void setServiceModel(int code) override { pass(&ProductTarget::setServiceModel, code); }
    void setCurrency(int code) override { pass(&ProductTarget::setCurrency, code); }

private:
    template<typename Set, typename Value> void pass(Set set, const Value &value)
    {
        if (m_latest())
            (m_editor.*set)(value);
    }

    ProductTarget &m_editor;
    std::function<bool()> m_latest;
};

QString today()
{
    return ProductValues::shownDate(QDate::currentDate());
}

} // namespace

ProductEditor::Server &ProductEditor::centralServer()
{
    static CentralServer server;
    return server;
}

ProductEditor::ProductEditor(Server &server) : m_server(server) {}

// ---------------------------------------------------------------------------
// Operations

void ProductEditor::LoadProductList()
{
    m_productCount = m_server.count();
    showProgress(QStringLiteral("Retrieving Product List..."));
    EnableProductFields(false);
    PendingEvents::process();

    if (m_productCount < 0) {
        inform(Icon::Exclamation, QStringLiteral("Server Unavailable"),
               Messages::lines({QStringLiteral("There has been an error retrieving your account "
                                               "information."),
                                QStringLiteral("The processing server may not be available at "
                                               "this time."),
                                QString(), QStringLiteral("Please contact Ostrand.")}));
        setDisplay(noneShown());
        m_saveEnabled = m_resetEnabled = m_newProductEnabled = false;
        hideProgress();
        return;
    }

    if (m_productCount == 0) {
        // The defaults that a first product starts from; only New Product
        // is left to do.
        setProductId(QStringLiteral("1"));
        setDescription(QString());
        setPrice(QString());
        setVersion(QStringLiteral("0"));
        setServiceModel(0);
        setCurrency(1);
        setDisplay(noneShown());
        setPermitOlder(true);
        setLock(false);
        setDateCreated(today());
        setDateModified(today());
        hideProgress();
        EnableProductFields(false);
        SetRecordChanged(false);
        return;
    }

    PendingEvents::process();
    m_currentProduct = 0;
    hideProgress();
    ShowProduct(true);
}

void ProductEditor::ShowProduct(bool forward)
{
    if (!forward && m_currentProduct == 1)
        return;
    if (forward && m_currentProduct == m_productCount)
        return;
    // The count is not raised here for a new product being left: only a
    // save adds a product, and the save raises the count itself.
    m_loadingProduct = true;
    showProgress(QStringLiteral("Retrieving Product Information..."));
    m_currentProduct += forward ? 1 : -1;
    changed();
    PendingEvents::process();
    EnableProductFields(false);
    // A load that ran meanwhile (a click handed on by the pending events)
    // has ended its own loading; this one still loads.
    m_loadingProduct = true;

    const Fetch fetched = fetch(m_currentProduct);
    if (fetched == Fetch::Superseded)
        return;
    if (fetched == Fetch::Failed) {
        // The new position stays; the fields keep the last product's values.
        inform(Icon::None, Messages::appTitle(),
               QStringLiteral("There was an error retrieving the product information."));
        hideProgress();
        m_loadingProduct = false;
        changed();
        return;
    }
    hideProgress();
    productLoaded();
}

void ProductEditor::EnableProductFields(bool enable)
{
    m_fieldsEnabled = enable;
    changed();
}

void ProductEditor::SetRecordChanged(bool changedNow)
{
    m_recordChanged = changedNow;
    m_saveEnabled = changedNow;
    m_resetEnabled = changedNow;
    m_newProductEnabled = !changedNow;
    changed();
}

bool ProductEditor::ValidateProduct()
{
    // Save reads the price only once it converts.
    const Amount price = Amount::parse(m_fields.price).value_or(Amount());
    return passes(ProductRules::validateProduct(m_fields.serviceModel, m_fields.currency, price));
}

// ---------------------------------------------------------------------------
// Clicks. A disabled button cannot be clicked: its handler then does
// nothing.

void ProductEditor::cmdNewProduct_Click()
{
    if (!m_newProductEnabled)
        return;
    m_currentProduct = m_productCount + 1;
    setProductId(QString::number(m_currentProduct));
    setDescription(QString());
    setPrice(QString());
    setVersion(QString());
    setCurrency(-1);
    setServiceModel(-1);
    // A new product carries no administrator's lock: its position shows in
    // navy even when the product shown before was locked (red).
    m_displayColour = Colour::Navy;
    setDisplay(QStringLiteral("%1/%2").arg(m_currentProduct).arg(m_productCount));
    setPermitOlder(true);
    setLock(false);
    setDateCreated(today());
    setDateModified(today());
    EnableProductFields(true);
    SetRecordChanged(false);
    m_newProductEnabled = false;
    changed();
}

void ProductEditor::cmdNextProduct_Click()
{
    step(true);
}

void ProductEditor::cmdPrevProduct_Click()
{
    step(false);
}

void ProductEditor::step(bool forward)
{
    if (m_display == noneShown())
        return;
    if (m_recordChanged &&
        ask(QStringLiteral("Information Changed"),
            QStringLiteral("This record has been changed.  Do you wish to update the "
                           "information on the server?"))) {
        save();
        if (!m_lastSaveOk)
            return;
    }
    ShowProduct(forward);
}

void ProductEditor::cmdResetForm_Click()
{
    if (!m_resetEnabled)
        return;
    // A reset is a load of the product shown: its values ask no lock
    // question, and it ends clean. The fields wait while it runs.
    const bool fieldsWereEnabled = m_fieldsEnabled;
    m_loadingProduct = true;
    EnableProductFields(false);
    const Fetch fetched = fetch(m_currentProduct);
    if (fetched == Fetch::Superseded)
        return;
    if (fetched == Fetch::Failed) {
        m_loadingProduct = false;
        EnableProductFields(fieldsWereEnabled);
        inform(Icon::Information, QStringLiteral("Information not retrieved"),
               QStringLiteral("The product could not be retreived."));
        return;
    }
    productLoaded();
}

void ProductEditor::cmdSave_Click()
{
    if (m_saveEnabled)
        save();
}

void ProductEditor::save()
{
    if (!passes(ProductRules::missingInformation(m_fields)) ||
        !passes(ProductRules::sendable(m_fields)) || !ValidateProduct()) {
        m_lastSaveOk = false;
        changed();
        return;
    }
    showProgress(QStringLiteral("Saving Data to Server ..."));
    // What is sent is what the fields held when Save was pressed.
    const ProductForm sent = m_fields;
    const qint16 savedId = *ProductRules::productIdValue(sent.productId);
    const bool ok = m_server.update(savedId, *Amount::parse(sent.price), sent);
    m_lastSaveOk = ok;
    if (!ok) {
        inform(Icon::Information, QStringLiteral("Update Not Successful"),
               QStringLiteral("The product could not be updated."));
    } else {
        SetRecordChanged(false);
        inform(Icon::Information, QStringLiteral("Update Successful"),
               QStringLiteral("The product has been updated."));
        // A new product saved raises the count to its ID: the position can
        // have moved on past it when a step's fetch failed.
        if (savedId > m_productCount) {
            m_productCount = savedId;
            showPositionOfCount();
        }
    }
    hideProgress();
}

// ---------------------------------------------------------------------------
// Validation

bool ProductEditor::txtProdID_Validate()
{
    return passes(ProductRules::validateProductId(m_fields.productId));
}

bool ProductEditor::txtProdPrice_Validate()
{
    return passes(ProductRules::validatePrice(m_fields.price));
}

bool ProductEditor::txtCurrentVersion_Validate()
{
    return passes(ProductRules::validateVersion(m_fields.version));
}

// ---------------------------------------------------------------------------
// Fields and their change handlers

void ProductEditor::setProductId(const QString &text)
{
    if (m_fields.productId == text)
        return;
    m_fields.productId = text;
    fieldChanged();
}

void ProductEditor::setDescription(const QString &text)
{
    if (m_fields.description == text)
        return;
    m_fields.description = text;
    fieldChanged();
}

void ProductEditor::setVersion(const QString &text)
{
    if (m_fields.version == text)
        return;
    m_fields.version = text;
    fieldChanged();
}

void ProductEditor::setPrice(const QString &text)
{
    if (m_fields.price == text)
        return;
    m_fields.price = text;
    fieldChanged();
}

void ProductEditor::setDateCreated(const QString &text)
{
    m_fields.dateCreated = text;
    changed();
}

void ProductEditor::setDateModified(const QString &text)
{
    m_fields.dateModified = text;
    changed();
}

void ProductEditor::setPermitOlder(bool checked)
{
    if (m_fields.permitOlder == checked)
        return;
    m_fields.permitOlder = checked;
    fieldChanged();
}

void ProductEditor::setLock(bool checked)
{
    if (m_fields.lock == checked)
        return;
    m_fields.lock = checked;
    changed();
    chkLockProduct_Click();
}

void ProductEditor::setServiceModel(int code)
{
    if (m_fields.serviceModel == code)
        return;
    m_fields.serviceModel = code;
    fieldChanged();
}

void ProductEditor::setCurrency(int code)
{
    if (m_fields.currency == code)
        return;
    m_fields.currency = code;
    fieldChanged();
}

void ProductEditor::fieldChanged()
{
    SetRecordChanged(true);
}

void ProductEditor::chkLockProduct_Click()
{
    if (m_suppressLockPrompt) {
        m_suppressLockPrompt = false;
        return;
    }
    if (m_fields.lock && !m_loadingProduct &&
        !ask(QStringLiteral("Lock Product?"),
             Messages::lines({QStringLiteral("If a product is locked, users will NOT be able to "
                                             "purchase this product."),
                              QStringLiteral("Do you wish to lock this product?")}))) {
        // Clearing the box runs this handler once more, which only resets
        // the flag.
        m_suppressLockPrompt = true;
        setLock(false);
        m_suppressLockPrompt = false;
        return;
    }
    SetRecordChanged(true);
}

// ---------------------------------------------------------------------------
// Helpers

ProductEditor::Fetch ProductEditor::fetch(int position)
{
    const quint64 load = ++m_loads;
    if (position < 1 || position > lastPosition)
        return Fetch::Failed;
    LatestLoad target(*this, [this, load] { return m_loads == load; });
    const bool ok = m_server.fetch(qint16(position), target);
    // A newer load has shown its own product (and ended the loading);
    // this answer, or its failure, no longer counts.
    if (m_loads != load)
        return Fetch::Superseded;
    return ok ? Fetch::Loaded : Fetch::Failed;
}

void ProductEditor::productLoaded()
{
    SetRecordChanged(false);
    EnableProductFields(true);
    m_loadingProduct = false;
    m_displayColour = Colour::Navy;
    showPositionOfCount();
    if (m_server.systemLocked()) {
        // Shown, not editable.
        EnableProductFields(false);
        m_displayColour = Colour::Red;
        inform(Icon::Exclamation, QStringLiteral("Product System Lock"),
               Messages::lines({QStringLiteral("This product has been locked by the system "
                                               "administrator."),
                                QStringLiteral("Please contact Ostrand for information on why "
                                               "this is locked.")}));
    }
}

void ProductEditor::setDisplay(const QString &text)
{
    m_display = text;
    changed();
}

void ProductEditor::showPositionOfCount()
{
    setDisplay(QStringLiteral("%1/%2").arg(m_currentProduct).arg(m_productCount));
}

void ProductEditor::showProgress(const QString &note)
{
    m_progressNote = note;
    m_progressShown = true;
    changed();
}

void ProductEditor::hideProgress()
{
    m_progressShown = false;
    changed();
}

void ProductEditor::changed()
{
    if (m_refresh)
        m_refresh();
}

void ProductEditor::inform(Icon icon, const QString &title, const QString &text)
{
    changed();
    if (m_silenced && m_silenced())
        return;
    Messages::inform(icon, title, text);
}

bool ProductEditor::passes(const ProductRules::Check &check)
{
    if (!check)
        return true;
    inform(check->icon, check->title, check->text);
    return false;
}

bool ProductEditor::ask(const QString &title, const QString &text)
{
    changed();
    if (m_silenced && m_silenced())
        return false;
    return Messages::ask(title, text);
}
