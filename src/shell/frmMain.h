#pragma once

#include "records/PrintLayout.h"
#include "shell/CommonDialog.h"
#include "statistics/TransactionTreeModel.h"
#include "store/WindowPlacement.h"
#include "store/modPublic.h"

#include <QByteArray>
#include <QMainWindow>
#include <QPointer>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <memory>
#include <vector>

class QAction;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPagedPaintDevice;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTabBar;
class QToolBar;
class QTreeView;
class PacketRequest;
class ProductTab;
class RegistrySettings;
class WidgetDialogBackend;
class frmEncryptionKey;

// The main window: start-up, the five tabs, the menus and the toolbar, the
// settings tab, the window's placement and the shared state of the program
// (the settings copy and the current record file). The work behind the
// commands of each tab lives with its subsystem, in further files of this
// class.
class frmMain : public QMainWindow
{
    Q_OBJECT

public:
    using Settings = modPublic::Settings;

    // Shows the login dialog for the stored password; the outcome goes to
    // modPublic::LoginAccepted.
    using LoginPrompt = std::function<void(const QString &storedPassword)>;

    explicit frmMain(QWidget *parent = nullptr);
    ~frmMain() override;

    // Where Print sends its pages: the printer that Printer setup chose, or
    // nullptr with why there is none.
    using PrinterSource = std::function<QPagedPaintDevice *(QString &why)>;

    void setLoginPrompt(LoginPrompt prompt) { m_loginPrompt = std::move(prompt); }
    // Another printer than the desktop's default one (tests print on a PDF
    // writer); an empty source goes back to the default printer.
    void setPrinterSource(PrinterSource source) { m_printerSource = std::move(source); }
    // The program's arguments as one string.
    void setCommandLine(const QString &commandLine) { m_commandLine = commandLine; }

    // Start-up, up to the moment the window may be shown. False when the
    // program is to end instead; exitCode() then tells with which status.
    bool Form_Load();
    int exitCode() const { return m_exitCode; }

    // The shared file and printer dialog.
    CommonDialog cdgOpen;

    const Settings &settingsCopy() const { return m_settings; }
    const QString &currentRecordFile() const { return m_currentRecordFile; }
    // The tab whose frame is shown (1 to 5), 0 before the first switch.
    int lastTab() const { return m_lastTab; }
    frmEncryptionKey *settingsDialog() const;
    // Set once the window has closed: what still runs then reports nothing.
    bool isClosing() const { return m_closing; }

    // Window geometry in twips: the outer rectangle, the frame around the
    // client area, the screen and the part of it that windows may take.
    QRectF windowTwips() const;
    WindowPlacement::FrameMargins frameTwips() const;
    QSizeF screenTwips() const;
    QRectF availableTwips() const;
    QSizeF clientTwips();
    void setWindowTopTwips(double top);
    void setWindowLeftTwips(double left);
    void setWindowSizeTwips(QSizeF size);
    // A rectangle in twips as pixels at this window's resolution.
    QRect toPixels(const QRectF &twips) const;
    QRectF toTwips(const QRect &pixels) const;

    // Shell.
    void Form_Resize();
    void Form_Unload();
    void tabForm_Click();
    void RestoreWindowSettings();
    void tbarDecypt_ButtonClick(const QString &key);
    void mnuExit_Click();
    void mnuSetting_Click();
    void mnuAbout_Click();
    void mnuWeb_Click();
    void mnuSupport_Click();
    void mnuPrtSetup_Click();
    void cmdUndo_Click();
    void cmdUpdate_Click();

    // Records.
    void mnuOpen_Click();
    // Shows the Open box; on a choice stores the chosen path into path.
    void ShowOpenDialog(QString &path, CommonDialog &dialog, const QString &extension);
    // Shows the current record file's text; false (with a message) when the
    // file is refused, the record view then unchanged.
    bool DecryptRecordFile();
    void EnableRecordCommands(bool enabled);
    // Reads the settings, then shows the current record file and enables the
    // record commands; without settings, warns with noKeyText instead, the
    // store's path and the cause in the message's details. A record file
    // that was read joins the recent files.
    void showCurrentRecord(const QString &noKeyText);
    // Opens a record file chosen otherwise than in the Open box (dropped on
    // the window, or from Open Recent) as if the box had returned it.
    void openRecordFile(const QString &path);
    void mnuSaveDecrypt_Click();
    void mnuSaveEncrypt_Click();
    void SaveDecryptedRecord();
    void SaveEncryptedRecord();
    // Shows the Save box with the filter and the proposed name; on a choice
    // stores the chosen path into path.
    void ShowSaveDialog(QString &path, CommonDialog &dialog, const QString &filter,
                        const QString &defaultName);
    // Writes the record view's text to path; false (with a message) when it
    // was not written.
    bool WriteRecordText(const QString &path);
    void mnuPrint_Click();
    void PrintRecord();
    void mnuPrintPreview_Click();
    void mnuExportPdf_Click();
    // The record view's text as the record text: its lines joined by CR LF.
    QString recordViewText() const;
    // The record view laid out for printing, stamped with the time now.
    QList<PrintLayout::Page> printedPages() const;
    // The record files opened last, newest first, as Open Recent lists them.
    const QStringList &recentFiles() const { return m_recentFiles; }

    // Server Information tab: probes the server chosen in cboServer.
    void cboServer_Click();
    void RefreshServerStatus();
    void cmdRefreshServer_Click();

    // Usage Statistics tab.
    // Empties tvStats, fetches the period's statistics and fills it.
    void RetrieveStatistics(int period);
    void optStatPeriod_Click(int index);
    // Shows only the transactions that hold the words typed.
    void txtStatsFilter_Change();
    void cmdExportStats_Click();
    void cmdReqPackage_Click();
    // The package server's answer to the re-delivery request.
    void INetReq_Completed(const QByteArray &body);
    // The re-delivery request ended without an answer.
    void INetReq_Failed(const QString &reason);

    // The progress note over the current frame.
    void showProgress(const QString &note);
    void hideProgress();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createMenus();
    void createDecryptTab();
    void createSettingsTab();
    void createProductTab();
    void createServerInfoTab();
    void createStatsTab();
    // Expands the product nodes that are shown: every one, or those given.
    void expandStatsProducts(const std::vector<qsizetype> *only = nullptr);
    QFrame *createFrame(const char *name);
    void placeAtDesign(QWidget *widget);
    void applyLayout(int tab);
    QWidget *layoutTarget(const QString &name) const;
    double dpiX() const;
    double dpiY() const;
    QSize frameMargins() const;
    QSize outerPixels(QSizeF twips) const;
    void settleOuterSize();
    void updateMinimumSize();
    // Takes a drag or drop of record files (accepting it) and opens the
    // first dropped; false for any other event or drag.
    bool takeRecordDrop(QEvent *event);
    void rememberRecentFile(const QString &path);
    void storeRecentFiles(RegistrySettings &settings);
    void fillRecentMenu();
    void openRecentFile(const QString &path);
    QPagedPaintDevice *defaultPrinter(QString &why);

    LoginPrompt m_loginPrompt;
    PrinterSource m_printerSource;
    QString m_commandLine;
    int m_exitCode = 0;

    Settings m_settings;
    QString m_currentRecordFile;
    int m_lastTab = 0;
    // Set when the window closes: what still ran then reports nothing.
    bool m_closing = false;
    // The outer size last asked for, in pixels, kept until the window frame
    // is known; the window manager may frame the window only after it shows.
    QSize m_wantedOuterPixels;
    bool m_frameSettled = false;

    std::unique_ptr<WidgetDialogBackend> m_dialogBackend;
    QPointer<frmEncryptionKey> m_settingsDialog;

    QWidget *m_client = nullptr;
    QTabBar *m_tabForm = nullptr;
    QLineEdit *m_txtProgress = nullptr;
    QFrame *m_fraDecrypt = nullptr;
    QFrame *m_fraSettings = nullptr;
    QFrame *m_fraProduct = nullptr;
    QFrame *m_fraServerInfo = nullptr;
    QFrame *m_fraStats = nullptr;
    // The Product Properties tab's controls and editor, inside m_fraProduct.
    ProductTab *m_productTab = nullptr;

    QAction *m_mnuOpen = nullptr;
    QMenu *m_mnuOpenRecent = nullptr;
    QStringList m_recentFiles;
    QAction *m_mnuSaveEncrypt = nullptr;
    QAction *m_mnuSaveDecrypt = nullptr;
    QAction *m_mnuPrtSetup = nullptr;
    QAction *m_mnuPrint = nullptr;
    QAction *m_mnuPrintPreview = nullptr;
    QAction *m_mnuExportPdf = nullptr;
    QAction *m_mnuExit = nullptr;
    QAction *m_mnuSetting = nullptr;
    QToolBar *m_tbarDecypt = nullptr;
    // Each toolbar button's key and the menu entry it runs, in order.
    QList<std::pair<QString, QAction *>> m_toolbarEntries;
    QPlainTextEdit *m_txtDecrypt = nullptr;

    QLineEdit *m_txtDeveloperKey = nullptr;
    QLineEdit *m_txtEncryptionKey = nullptr;
    QLineEdit *m_txtPassword = nullptr;

    QComboBox *m_cboServer = nullptr;
    QLineEdit *m_txtServerStatus = nullptr;
    QLineEdit *m_txtConnTime = nullptr;
    QPushButton *m_cmdRefreshServer = nullptr;

    QGroupBox *m_fraStatPeriod = nullptr;
    std::array<QRadioButton *, 4> m_optStatPeriod{};
    QLineEdit *m_txtStatsFilter = nullptr;
    QTreeView *m_tvStats = nullptr;
    TransactionTreeModel *m_statsModel = nullptr;
    // The node last selected, kept while the filter hides it so that it is
    // selected again when it shows again.
    TransactionTreeModel::Node m_statsSelected;
    // The product nodes that were expanded before a filter was typed, given
    // back when it is cleared.
    std::vector<qsizetype> m_expandedBeforeFilter;
    QPushButton *m_cmdExportStats = nullptr;
    QPushButton *m_cmdReqPackage = nullptr;
    // The re-delivery request's transfer channel: one request at a time.
    PacketRequest *m_INetReq = nullptr;
};
