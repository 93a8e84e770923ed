#pragma once

#include "common/Messages.h"
#include "gateway/ProductTarget.h"
#include "products/ProductForm.h"
#include "products/ProductRules.h"

#include <QString>

#include <functional>

class Amount;

// The Product Properties tab without its widgets: the fields it shows, which
// of its controls are enabled, the position display, the progress note, the
// editor's variables and every handler of the tab. The window maps its
// controls to this state and passes the user's edits and clicks in; tests
// drive it the same way.
//
// Every change of a field's value, made by the user or by the editor itself
// (a load, a new product), runs that field's change handler, as the
// window's controls would. Messages go through the message seam.
class ProductEditor final : public ProductTarget
{
public:
    // The requests the editor makes. The program's go to the central server
    // (centralServer()); tests give their own.
    class Server
    {
    public:
        virtual ~Server() = default;
        // The number of products, or -1 on failure.
        virtual qint16 count() = 0;
        // Applies the product at the 1-based position to the target; false
        // (the target untouched) on failure.
        virtual bool fetch(qint16 position, ProductTarget &target) = 0;
        // Whether the last product fetched carries the administrator's lock.
        virtual bool systemLocked() = 0;
        // Adds or changes the product; true when the request went through.
        virtual bool update(qint16 productId, const Amount &price, const ProductForm &form) = 0;
    };
    static Server &centralServer();

    enum class Colour
    {
        Navy, // 0, 0, 128
        Red   // 255, 0, 0
    };

    explicit ProductEditor(Server &server = centralServer());

    // Called after every change of what the tab shows.
    void setRefresh(std::function<void()> refresh) { m_refresh = std::move(refresh); }
    // While this says so (the window has closed), no message is shown and
    // every question is answered No.
    void setSilenced(std::function<bool()> silenced) { m_silenced = std::move(silenced); }

    // Operations of the tab.
    void LoadProductList();
    void ShowProduct(bool forward);
    void EnableProductFields(bool enable);
    void SetRecordChanged(bool changed);
    bool ValidateProduct();

    // Click handlers.
    void cmdNewProduct_Click();
    void cmdNextProduct_Click();
    void cmdPrevProduct_Click();
    void cmdResetForm_Click();
    void cmdSave_Click();

    // Validate handlers, run when the focus leaves their field: false keeps
    // the focus there.
    bool txtProdID_Validate();
    bool txtProdPrice_Validate();
    bool txtCurrentVersion_Validate();

    // A field's value as the user or a load changes it. A new value runs the
    // field's change handler; the same value again changes nothing.
    void setProductId(const QString &text) override;
    void setDescription(const QString &text) override;
    void setVersion(const QString &text) override;
    void setPrice(const QString &text) override;
    void setDateCreated(const QString &text) override;
    void setDateModified(const QString &text) override;
    void setPermitOlder(bool checked) override;
    void setLock(bool checked) override;
    void setServiceModel(int code) override;
    void setCurrency(int code) override;

    // What the tab shows.
    const ProductForm &fields() const { return m_fields; }
    // The eight fields the user can edit (the dates never are).
    bool fieldsEnabled() const { return m_fieldsEnabled; }
    bool saveEnabled() const { return m_saveEnabled; }
    bool resetEnabled() const { return m_resetEnabled; }
    bool newProductEnabled() const { return m_newProductEnabled; }
    // "2/5", or noneShown when no product from the server is shown.
    QString display() const { return m_display; }
    Colour displayColour() const { return m_displayColour; }
    bool progressShown() const { return m_progressShown; }
    QString progressNote() const { return m_progressNote; }

    // The editor's variables. The position of a new product is the count
    // plus one, which can be one beyond the 16-bit range.
    int productCount() const { return m_productCount; }
    int currentProduct() const { return m_currentProduct; }
    bool recordChanged() const { return m_recordChanged; }
    bool lastSaveOk() const { return m_lastSaveOk; }
    bool loadingProduct() const { return m_loadingProduct; }

    static QString noneShown() { return QStringLiteral("<NONE>"); }

private:
    // The change handlers of the fields: each only marks the record changed.
    void fieldChanged();
    void chkLockProduct_Click();

    enum class Fetch
    {
        Loaded,
        Failed,
        Superseded, // another load started while this one waited
    };
    Fetch fetch(int position);
    // What a load does once the product's values are in the fields.
    void productLoaded();
    void setDisplay(const QString &text);
    void showPositionOfCount();
    void showProgress(const QString &note);
    void hideProgress();
    void changed();
    void inform(Messages::Icon icon, const QString &title, const QString &text);
    // True when the check passed; otherwise shows its message.
    bool passes(const ProductRules::Check &check);
    bool ask(const QString &title, const QString &text);
    // Next and Previous.
    void step(bool forward);
    // Save, as its button and the question before a step run it.
    void save();

    Server &m_server;
    std::function<void()> m_refresh;
    std::function<bool()> m_silenced;

    ProductForm m_fields;
    bool m_fieldsEnabled = false;
    bool m_saveEnabled = false;
    bool m_resetEnabled = false;
    bool m_newProductEnabled = false;
    QString m_display = noneShown();
    Colour m_displayColour = Colour::Navy;
    bool m_progressShown = false;
    QString m_progressNote;

    int m_productCount = 0;
    int m_currentProduct = 0;
    bool m_recordChanged = false;
    bool m_lastSaveOk = false;
    bool m_loadingProduct = false;
    bool m_suppressLockPrompt = false;
    // Counts the loads begun, so that a load knows whether a newer one
    // started while it waited.
    quint64 m_loads = 0;
};
