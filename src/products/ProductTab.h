#pragma once

#include "products/ProductEditor.h"

#include <QObject>
#include <QPointer>
#include <QString>

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class frmMain;

// The controls of the Product Properties tab, inside the main window's frame
// fraProduct. It shows the editor's state and hands the user's edits,
// clicks and field exits to the editor, which holds every rule.
class ProductTab final : public QObject
{
public:
    ProductTab(frmMain *window, QFrame *fraProduct);

    // Fills the currency and service-model lists, with nothing selected.
    void FillProductCombos();
    // Fetches the count and shows the first product.
    void LoadProductList();

    ProductEditor &editor() { return m_editor; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createControls(QFrame *frame);
    void connectControls();
    void refresh();
    // Runs the field's validate handler; a refusal brings the focus back.
    void validate(QLineEdit *field);
    // A click, unless a field has just refused to let the focus go.
    void click(void (ProductEditor::*handler)());

    frmMain *m_window;
    ProductEditor m_editor;

    QLineEdit *m_txtProdID = nullptr;
    QLineEdit *m_txtProdDesc = nullptr;
    QLineEdit *m_txtCurrentVersion = nullptr;
    QCheckBox *m_chkPermitOlder = nullptr;
    QComboBox *m_cboServiceModel = nullptr;
    QLineEdit *m_txtProdPrice = nullptr;
    QCheckBox *m_chkLockProduct = nullptr;
    QComboBox *m_cboCurrencyType = nullptr;
    QLineEdit *m_txtDateCreated = nullptr;
    QLineEdit *m_txtDateModified = nullptr;
    QFrame *m_picSelectProd = nullptr;
    QPushButton *m_cmdPrevProduct = nullptr;
    QLabel *m_lblProdDisplay = nullptr;
    QPushButton *m_cmdNextProduct = nullptr;
    QPushButton *m_cmdSave = nullptr;
    QPushButton *m_cmdResetForm = nullptr;
    QPushButton *m_cmdNewProduct = nullptr;

    // The progress note as this tab last showed it.
    bool m_progressShown = false;
    QString m_progressNote;
    // A field whose validate handler refused, until the focus is back in it.
    QPointer<QLineEdit> m_refused;
    bool m_validating = false;
};
