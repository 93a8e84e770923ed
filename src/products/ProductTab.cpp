#include "products/ProductTab.h"

#include "gateway/ProductValues.h"
#include "shell/MainLayout.h"
#include "shell/ToolbarIcons.h"
#include "shell/frmMain.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <limits>

namespace {

const QColor navy(0, 0, 128);
const QColor red(255, 0, 0);

template<typename T> T *control(QWidget *parent, const char *objectName)
{
    auto *widget = new T(parent);
    widget->setObjectName(QLatin1String(objectName));
    return widget;
}

// Puts the text in the box when it differs, showing long texts from their
// start; the user's own typing (which the editor already holds) is left
// alone.
void show(QLineEdit *box, const QString &text)
{
    if (box->text() == text)
        return;
    box->setText(text);
    box->setCursorPosition(0);
}

} // namespace

ProductTab::ProductTab(frmMain *window, QFrame *fraProduct) : QObject(fraProduct), m_window(window)
{
    setObjectName(QStringLiteral("productTab"));
    createControls(fraProduct);
    connectControls();
    m_editor.setRefresh([this] { refresh(); });
    m_editor.setSilenced([this] { return m_window->isClosing(); });
    refresh();
}

void ProductTab::createControls(QFrame *frame)
{
    const auto place = [this](QWidget *widget) {
        widget->setGeometry(
            m_window->toPixels(MainLayout::designGeometry().value(widget->objectName())));
    };
    const auto textBox = [&](const char *name, const char *tip) {
        auto *box = control<QLineEdit>(frame, name);
        box->setToolTip(QString::fromUtf8(tip));
        // No box limits the length of its text.
        box->setMaxLength(std::numeric_limits<int>::max());
        place(box);
        return box;
    };
    const auto list = [&](const char *name, const char *tip) {
        auto *box = control<QComboBox>(frame, name);
        box->setEditable(false);
        if (tip)
            box->setToolTip(QString::fromUtf8(tip));
        place(box);
        return box;
    };
    const auto checkBox = [&](const char *name, const char *caption, const char *tip) {
        auto *box = control<QCheckBox>(frame, name);
        box->setText(QString::fromUtf8(caption));
        box->setToolTip(QString::fromUtf8(tip));
        place(box);
        return box;
    };

    m_txtProdID = textBox("txtProdID", "The Product ID of this Product");
    m_txtProdID->setReadOnly(true);
    m_txtProdDesc = textBox("txtProdDesc", "A description of the product (internal use)");
    m_txtCurrentVersion = textBox("txtCurrentVersion", "The most recent version of the software.");
    m_chkPermitOlder =
        checkBox("chkPermitOlder", "Permit Older", "Allow previous versions to be registered.");
    m_cboServiceModel = list("cboServiceModel", nullptr);
    m_txtProdPrice = textBox("txtProdPrice", "The price of the software.");
    m_chkLockProduct =
        checkBox("chkLockProduct", "Lock Product", "Do not allow the product to be purchased.");
    m_cboCurrencyType = list("cboCurrencyType", "The type of currency to use in a purchase.");
    m_txtDateCreated = textBox("txtDateCreated", "The date this product was added.");
    m_txtDateModified = textBox("txtDateModified", "The date this product was last modified.");
    // Leaving these three runs their validate handlers.
    for (QLineEdit *checked : {m_txtProdID, m_txtCurrentVersion, m_txtProdPrice})
        checked->installEventFilter(this);
    // The dates are never edited: disabled, on the button face's colour.
    for (QLineEdit *date : {m_txtDateCreated, m_txtDateModified}) {
        date->setEnabled(false);
        QPalette palette = date->palette();
        for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
            palette.setColor(group, QPalette::Base, palette.color(group, QPalette::Button));
        date->setPalette(palette);
    }

    const struct
    {
        const char *name;
        const char *caption;
        QWidget *field;
    } labels[] = {
        {"lblProdID", "Product ID:", m_txtProdID},
        {"lblProdDesc", "Product Description:", m_txtProdDesc},
        {"lblCurrentVersion", "Current Version:", m_txtCurrentVersion},
        {"lblServiceModel", "Service Model:", m_cboServiceModel},
        {"lblProdPrice", "Product Price:", m_txtProdPrice},
        {"lblCurrencyType", "Currency Type:", m_cboCurrencyType},
        {"lblDateCreated", "Date Created:", m_txtDateCreated},
        {"lblDateModified", "Date Modified:", m_txtDateModified},
    };
    for (const auto &entry : labels) {
        auto *label = control<QLabel>(frame, entry.name);
        label->setText(QString::fromUtf8(entry.caption));
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        label->setBuddy(entry.field);
        place(label);
    }

    // The picker: previous, the position of the count, next.
    m_picSelectProd = control<QFrame>(frame, "picSelectProd");
    m_picSelectProd->setFrameShape(QFrame::StyledPanel);
    m_picSelectProd->setFrameShadow(QFrame::Sunken);
    place(m_picSelectProd);
    const auto pictureButton = [&](const char *name, const char *accessibleName) {
        auto *button = control<QPushButton>(m_picSelectProd, name);
        button->setIcon(ToolbarIcons::icon(button->objectName()));
        button->setAccessibleName(QString::fromUtf8(accessibleName));
        place(button);
        const int side = qMax(8, qMin(button->width(), button->height()) - 8);
        button->setIconSize(QSize(side, side));
        return button;
    };
    m_cmdPrevProduct = pictureButton("cmdPrevProduct", "Previous product");
    m_lblProdDisplay = control<QLabel>(m_picSelectProd, "lblProdDisplay");
    m_lblProdDisplay->setAlignment(Qt::AlignCenter);
    QFont large = m_lblProdDisplay->font();
    large.setPointSizeF(18);
    m_lblProdDisplay->setFont(large);
    place(m_lblProdDisplay);
    m_cmdNextProduct = pictureButton("cmdNextProduct", "Next product");

    const auto button = [&](const char *name, const char *caption) {
        auto *b = control<QPushButton>(frame, name);
        b->setText(QString::fromUtf8(caption));
        place(b);
        return b;
    };
    m_cmdSave = button("cmdSave", "Save Information");
    m_cmdResetForm = button("cmdResetForm", "Reset Form");
    m_cmdNewProduct = button("cmdNewProduct", "New Product");

    const QList<QWidget *> order{m_txtProdID,       m_txtProdDesc,     m_txtCurrentVersion,
                                 m_chkPermitOlder,  m_cboServiceModel, m_txtProdPrice,
                                 m_chkLockProduct,  m_cboCurrencyType, m_txtDateCreated,
                                 m_txtDateModified, m_cmdPrevProduct,  m_cmdNextProduct,
                                 m_cmdSave,         m_cmdResetForm,    m_cmdNewProduct};
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order.at(i - 1), order.at(i));
}

void ProductTab::connectControls()
{
    ProductEditor *editor = &m_editor;
    // The user's edits; what the editor itself puts in the fields reaches
    // them through refresh().
    connect(m_txtProdDesc, &QLineEdit::textEdited, this,
            [editor](const QString &text) { editor->setDescription(text); });
    connect(m_txtProdPrice, &QLineEdit::textEdited, this,
            [editor](const QString &text) { editor->setPrice(text); });
    connect(m_txtCurrentVersion, &QLineEdit::textEdited, this,
            [editor](const QString &text) { editor->setVersion(text); });
    connect(m_cboServiceModel, &QComboBox::activated, this,
            [editor](int index) { editor->setServiceModel(index); });
    connect(m_cboCurrencyType, &QComboBox::activated, this,
            [editor](int index) { editor->setCurrency(index); });
    connect(m_chkPermitOlder, &QCheckBox::clicked, this,
            [editor](bool checked) { editor->setPermitOlder(checked); });
    connect(m_chkLockProduct, &QCheckBox::clicked, this,
            [editor](bool checked) { editor->setLock(checked); });

    connect(m_cmdPrevProduct, &QPushButton::clicked, this,
            [this] { click(&ProductEditor::cmdPrevProduct_Click); });
    connect(m_cmdNextProduct, &QPushButton::clicked, this,
            [this] { click(&ProductEditor::cmdNextProduct_Click); });
    connect(m_cmdSave, &QPushButton::clicked, this,
            [this] { click(&ProductEditor::cmdSave_Click); });
    connect(m_cmdResetForm, &QPushButton::clicked, this,
            [this] { click(&ProductEditor::cmdResetForm_Click); });
    connect(m_cmdNewProduct, &QPushButton::clicked, this,
            [this] { click(&ProductEditor::cmdNewProduct_Click); });
}

void ProductTab::FillProductCombos()
{
    m_cboCurrencyType->addItems(ProductValues::currencyItems());
    m_cboServiceModel->addItems(ProductValues::serviceModelItems());
    // Filling a list selects its first item; none is selected yet.
    refresh();
}

void ProductTab::LoadProductList()
{
    m_editor.LoadProductList();
}

void ProductTab::refresh()
{
    const ProductForm &f = m_editor.fields();
    show(m_txtProdID, f.productId);
    show(m_txtProdDesc, f.description);
    show(m_txtCurrentVersion, f.version);
    show(m_txtProdPrice, f.price);
    show(m_txtDateCreated, f.dateCreated);
    show(m_txtDateModified, f.dateModified);
    m_chkPermitOlder->setChecked(f.permitOlder);
    m_chkLockProduct->setChecked(f.lock);
    m_cboServiceModel->setCurrentIndex(f.serviceModel);
    m_cboCurrencyType->setCurrentIndex(f.currency);

    const bool enabled = m_editor.fieldsEnabled();
    for (QWidget *field : std::initializer_list<QWidget *>{
             m_txtProdID, m_txtProdDesc, m_txtProdPrice, m_chkLockProduct, m_chkPermitOlder,
             m_cboCurrencyType, m_cboServiceModel, m_txtCurrentVersion})
        field->setEnabled(enabled);
    m_cmdSave->setEnabled(m_editor.saveEnabled());
    m_cmdResetForm->setEnabled(m_editor.resetEnabled());
    m_cmdNewProduct->setEnabled(m_editor.newProductEnabled());

    m_lblProdDisplay->setText(m_editor.display());
    QPalette palette = m_lblProdDisplay->palette();
    const QColor colour = m_editor.displayColour() == ProductEditor::Colour::Red ? red : navy;
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setColor(group, QPalette::WindowText, colour);
    m_lblProdDisplay->setPalette(palette);

    // The progress note is shared with the other tabs: it is shown or
    // hidden only when the editor's own note changes.
    if (m_editor.progressShown()) {
        if (!m_progressShown || m_progressNote != m_editor.progressNote())
            m_window->showProgress(m_editor.progressNote());
    } else if (m_progressShown) {
        m_window->hideProgress();
    }
    m_progressShown = m_editor.progressShown();
    m_progressNote = m_editor.progressNote();
}

bool ProductTab::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::FocusOut)
        return false;
    auto *field = static_cast<QLineEdit *>(watched);
    // The focus leaves for another control of the window; not when another
    // window (a message box, a menu) takes it, nor when the field goes
    // because it is hidden or disabled.
    switch (static_cast<QFocusEvent *>(event)->reason()) {
    case Qt::MouseFocusReason:
    case Qt::TabFocusReason:
    case Qt::BacktabFocusReason:
    case Qt::ShortcutFocusReason:
    case Qt::OtherFocusReason:
        break;
    default:
        return false;
    }
    if (!m_validating && field->isVisible() && field->isEnabled() && !m_window->isClosing())
        validate(field);
    return false;
}

void ProductTab::validate(QLineEdit *field)
{
    m_validating = true;
    bool passed = true;
    if (field == m_txtProdID)
        passed = m_editor.txtProdID_Validate();
    else if (field == m_txtProdPrice)
        passed = m_editor.txtProdPrice_Validate();
    else if (field == m_txtCurrentVersion)
        passed = m_editor.txtCurrentVersion_Validate();
    m_validating = false;
    if (passed)
        return;
    // The focus goes back once the change of focus under way has ended; a
    // click that moved it away is dropped meanwhile.
    m_refused = field;
    QTimer::singleShot(0, field, [this, field] {
        field->setFocus(Qt::OtherFocusReason);
        field->selectAll();
        m_refused = nullptr;
    });
}

void ProductTab::click(void (ProductEditor::*handler)())
{
    if (m_refused)
        return;
    (m_editor.*handler)();
}
