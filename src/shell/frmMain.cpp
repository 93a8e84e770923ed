#include "shell/frmMain.h"

#include "common/CommandLine.h"
#include "common/Messages.h"
#include "common/TerminationSignals.h"
#include "gateway/HttpClient.h"
#include "products/ProductTab.h"
#include "shell/AppIcon.h"
#include "shell/DesktopLinks.h"
#include "shell/MainLayout.h"
#include "shell/ToolbarIcons.h"
#include "shell/WidgetDialogBackend.h"
#include "shell/frmAbout.h"
#include "shell/frmEncryptionKey.h"
#include "shell/frmLogin.h"
#include "statistics/PacketRequest.h"
#include "store/RecentFiles.h"
#include "store/RegistrySettings.h"
#include "store/WindowPlacement.h"
#include "store/modPublic.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyleOptionTabWidgetFrame>
#include <QTabBar>
#include <QToolBar>
#include <QTreeView>
#include <QtMath>

#include <cstdio>

namespace {

// The client area draws the tab strip's page frame under the tab headers, as
// a tab widget does; the tabs' frames are separate widgets laid over it.
class ClientArea final : public QWidget
{
public:
    explicit ClientArea(QWidget *parent) : QWidget(parent) {}

    void setTabStrip(QTabBar *strip) { m_strip = strip; }

protected:
    void paintEvent(QPaintEvent *) override
    {
        if (!m_strip)
            return;
        QPainter painter(this);
        QStyleOptionTabWidgetFrame pane;
        pane.initFrom(this);
        pane.shape = m_strip->shape();
        const int headerHeight = m_strip->height();
        pane.rect = QRect(m_strip->x(), m_strip->y() + headerHeight - 1, m_strip->width(),
                          height() - m_strip->y() - headerHeight + 1);
        pane.tabBarSize = m_strip->size();
        pane.tabBarRect = m_strip->geometry();
        pane.lineWidth = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
        style()->drawPrimitive(QStyle::PE_FrameTabWidget, &pane, &painter, this);
    }

private:
    QPointer<QTabBar> m_strip;
};

// Tabs a little narrower than the style's own, so that the five captions fit
// a window of the minimum width.
class CompactTabStyle final : public QProxyStyle
{
public:
    int pixelMetric(PixelMetric metric, const QStyleOption *option,
                    const QWidget *widget) const override
    {
        const int value = QProxyStyle::pixelMetric(metric, option, widget);
        if (metric == PM_TabBarTabHSpace)
            return qMin(value, 12);
        return value;
    }
};

QString name(const char *objectName)
{
    return QLatin1String(objectName);
}

QLabel *label(QWidget *parent, const char *objectName, const QString &caption)
{
    auto *l = new QLabel(caption, parent);
    l->setObjectName(name(objectName));
    return l;
}

QLineEdit *textBox(QWidget *parent, const char *objectName)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(name(objectName));
    return edit;
}

QPushButton *commandButton(QWidget *parent, const char *objectName, const QString &caption)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(name(objectName));
    return button;
}

} // namespace

frmMain::frmMain(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(Messages::appTitle());
    setWindowIcon(AppIcon::icon());

    m_loginPrompt = [this](const QString &storedPassword) {
        frmLogin login(isVisible() ? this : nullptr);
        login.StoredPassword = storedPassword;
        login.exec();
    };
    m_dialogBackend = std::make_unique<WidgetDialogBackend>(this);
    cdgOpen.setBackend(m_dialogBackend.get());

    auto *client = new ClientArea(this);
    m_client = client;
    m_client->setObjectName(QStringLiteral("frmMainClient"));
    setCentralWidget(m_client);

    m_tabForm = new QTabBar(m_client);
    m_tabForm->setObjectName(QStringLiteral("tabForm"));
    m_tabForm->setDrawBase(false);
    m_tabForm->setExpanding(false);
    // Every tab stays in sight: narrow windows shorten the captions.
    m_tabForm->setUsesScrollButtons(false);
    m_tabForm->setElideMode(Qt::ElideRight);
    auto *tabStyle = new CompactTabStyle;
    tabStyle->setParent(m_tabForm);
    m_tabForm->setStyle(tabStyle);
    QFont tabFont = m_tabForm->font();
    if (tabFont.pointSizeF() > 0)
        tabFont.setPointSizeF(tabFont.pointSizeF() * 0.9);
    m_tabForm->setFont(tabFont);
    client->setTabStrip(m_tabForm);
    for (const char *caption : {"&Decryption Utility", "Decryption &Settings",
                                "&Product Properties", "Server &Information", "&Usage Statistics"})
        m_tabForm->addTab(QString::fromUtf8(caption));
    m_tabForm->setCurrentIndex(0);

    createMenus();
    createDecryptTab();
    createSettingsTab();
    createProductTab();
    createServerInfoTab();
    createStatsTab();

    m_txtProgress = textBox(m_client, "txtProgress");
    m_txtProgress->setReadOnly(true);
    m_txtProgress->setAlignment(Qt::AlignCenter);
    m_txtProgress->setFocusPolicy(Qt::NoFocus);
    placeAtDesign(m_txtProgress);
    m_txtProgress->hide();

    for (QFrame *frame : {m_fraDecrypt, m_fraSettings, m_fraProduct, m_fraServerInfo, m_fraStats})
        frame->hide();

    connect(m_tabForm, &QTabBar::currentChanged, this, &frmMain::tabForm_Click);

    // Record files dropped anywhere on the window open, also over the
    // controls that take dropped text.
    setAcceptDrops(true);
    for (QWidget *control : findChildren<QWidget *>()) {
        if (control->acceptDrops())
            control->installEventFilter(this);
    }

    // The designed size, until start-up sets the real one.
    resize(toPixels(QRectF(0, 0, MainLayout::minWindowWidth, MainLayout::minWindowHeight)).size());
}

frmMain::~frmMain()
{
    // The settings dialog has no owner; it goes with the program.
    delete m_settingsDialog.data();
}

frmEncryptionKey *frmMain::settingsDialog() const
{
    return m_settingsDialog && m_settingsDialog->isVisible() ? m_settingsDialog.data() : nullptr;
}

// ---------------------------------------------------------------------------
// Controls

QFrame *frmMain::createFrame(const char *objectName)
{
    auto *frame = new QFrame(m_client);
    frame->setObjectName(name(objectName));
    frame->setFrameShape(QFrame::NoFrame);
    frame->setGeometry(toPixels(
        QRectF(QPointF(MainLayout::frameLeft, MainLayout::frameTop), MainLayout::designFrameSize)));
    return frame;
}

void frmMain::placeAtDesign(QWidget *widget)
{
    const auto &design = MainLayout::designGeometry();
    const auto it = design.constFind(widget->objectName());
    if (it != design.constEnd())
        widget->setGeometry(toPixels(*it));
}

void frmMain::createMenus()
{
    const auto entry = [this](QMenu *menu, const char *objectName, const QString &caption) {
        QAction *action = menu->addAction(caption);
        action->setObjectName(name(objectName));
        return action;
    };
    const auto separator = [](QMenu *menu, const char *objectName) {
        menu->addSeparator()->setObjectName(name(objectName));
    };

    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("mnuFile"));
    m_mnuOpen = entry(file, "mnuOpen", QStringLiteral("&Open"));
    m_mnuOpen->setShortcut(QKeySequence::Open);
    m_mnuOpenRecent = file->addMenu(QStringLiteral("Open &Recent"));
    m_mnuOpenRecent->setObjectName(QStringLiteral("mnuOpenRecent"));
    m_mnuOpenRecent->menuAction()->setEnabled(false);
    separator(file, "mnuSp1");
    m_mnuSaveEncrypt = entry(file, "mnuSaveEncrypt", QStringLiteral("Save Encrypt"));
    m_mnuSaveDecrypt = entry(file, "mnuSaveDecrypt", QStringLiteral("&Save Decrypt"));
    m_mnuSaveDecrypt->setShortcut(QKeySequence::Save);
    separator(file, "mnuSp2");
    m_mnuPrtSetup = entry(file, "mnuPrtSetup", QStringLiteral("Printer setup"));
    m_mnuPrint = entry(file, "mnuPrint", QStringLiteral("&Print"));
    m_mnuPrint->setShortcut(QKeySequence::Print);
    m_mnuPrintPreview = entry(file, "mnuPrintPreview", QStringLiteral("Print Pre&view…"));
    m_mnuExportPdf = entry(file, "mnuExportPdf", QStringLiteral("Export as P&DF…"));
    separator(file, "mnuSp3");
    m_mnuExit = entry(file, "mnuExit", QStringLiteral("&Exit"));
    m_mnuExit->setShortcut(QKeySequence::Quit);

    QMenu *options = menuBar()->addMenu(QStringLiteral("Op&tions"));
    options->setObjectName(QStringLiteral("mnuOption"));
    m_mnuSetting = entry(options, "mnuSetting", QStringLiteral("Settings"));

    QMenu *help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("mnuMainHelp"));
    QAction *about = entry(help, "mnuAbout", QStringLiteral("&About"));
    QAction *web = entry(help, "mnuWeb", QStringLiteral("Varnell &Web Page"));
    QAction *support = entry(help, "mnuSupport", QStringLiteral("Email Support"));

    connect(m_mnuOpen, &QAction::triggered, this, &frmMain::mnuOpen_Click);
    connect(m_mnuSaveEncrypt, &QAction::triggered, this, &frmMain::mnuSaveEncrypt_Click);
    connect(m_mnuSaveDecrypt, &QAction::triggered, this, &frmMain::mnuSaveDecrypt_Click);
    connect(m_mnuPrtSetup, &QAction::triggered, this, &frmMain::mnuPrtSetup_Click);
    connect(m_mnuPrint, &QAction::triggered, this, &frmMain::mnuPrint_Click);
    connect(m_mnuPrintPreview, &QAction::triggered, this, &frmMain::mnuPrintPreview_Click);
    connect(m_mnuExportPdf, &QAction::triggered, this, &frmMain::mnuExportPdf_Click);
    connect(m_mnuExit, &QAction::triggered, this, &frmMain::mnuExit_Click);
    connect(m_mnuSetting, &QAction::triggered, this, &frmMain::mnuSetting_Click);
    connect(about, &QAction::triggered, this, &frmMain::mnuAbout_Click);
    connect(web, &QAction::triggered, this, &frmMain::mnuWeb_Click);
    connect(support, &QAction::triggered, this, &frmMain::mnuSupport_Click);
}

void frmMain::createDecryptTab()
{
    m_fraDecrypt = createFrame("fraDecrypt");

    m_tbarDecypt = new QToolBar(m_fraDecrypt);
    m_tbarDecypt->setObjectName(QStringLiteral("tbarDecypt"));
    m_tbarDecypt->setMovable(false);
    m_tbarDecypt->setFloatable(false);
    m_tbarDecypt->setToolButtonStyle(Qt::ToolButtonIconOnly);
    const int side = qMax(24, fontMetrics().height() + 8);
    m_tbarDecypt->setIconSize(QSize(side, side));
    // The buttons in their order: key, tip and the menu entry each one runs.
    // A button is enabled whenever its entry is, so the record commands'
    // switch works on the menu alone.
    const struct
    {
        const char *key;
        const char *tip;
        QAction *entry;
    } buttons[] = {{"btOpen", "Open an encrypted file", m_mnuOpen},
                   {"btSaveEncrypt", "Save as encrypted file", m_mnuSaveEncrypt},
                   {"btSaveDecrypt", "Save as decrypted (readable text) file", m_mnuSaveDecrypt},
                   {"btPrint", "Print", m_mnuPrint},
                   {"btSetting", "Show settings form", m_mnuSetting}};
    for (const auto &b : buttons) {
        const QString key = name(b.key);
        QAction *button =
            m_tbarDecypt->addAction(ToolbarIcons::icon(key), QString::fromUtf8(b.tip));
        button->setObjectName(key);
        button->setToolTip(QString::fromUtf8(b.tip));
        button->setEnabled(b.entry->isEnabled());
        connect(b.entry, &QAction::changed, button,
                [button, entry = b.entry] { button->setEnabled(entry->isEnabled()); });
        m_toolbarEntries.append({key, b.entry});
    }
    connect(m_tbarDecypt, &QToolBar::actionTriggered, this,
            [this](QAction *button) { tbarDecypt_ButtonClick(button->objectName()); });

    m_txtDecrypt = new QPlainTextEdit(m_fraDecrypt);
    m_txtDecrypt->setObjectName(QStringLiteral("txtDecrypt"));
    QFont courier(QStringLiteral("Courier"));
    courier.setStyleHint(QFont::TypeWriter);
    courier.setFixedPitch(true);
    courier.setPointSizeF(9.75);
    m_txtDecrypt->setFont(courier);
    m_txtDecrypt->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_txtDecrypt->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_txtDecrypt->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    placeAtDesign(m_txtDecrypt);
}

void frmMain::createSettingsTab()
{
    m_fraSettings = createFrame("fraSettings");
    m_txtDeveloperKey = textBox(m_fraSettings, "txtDeveloperKey");
    m_txtEncryptionKey = textBox(m_fraSettings, "txtEncryptionKey");
    m_txtPassword = textBox(m_fraSettings, "txtPassword");
    QLabel *developer = label(m_fraSettings, "lblDeveloperKey", QStringLiteral("Developer Key:"));
    QLabel *encryption =
        label(m_fraSettings, "lblEncryptionKey", QStringLiteral("Encryption Key:"));
    QLabel *password = label(m_fraSettings, "lblPassword", QStringLiteral("Password:"));
    developer->setBuddy(m_txtDeveloperKey);
    // The key is longer than its field: its tip shows it whole.
    connect(m_txtDeveloperKey, &QLineEdit::textChanged, m_txtDeveloperKey,
            [this](const QString &key) { m_txtDeveloperKey->setToolTip(key); });
    encryption->setBuddy(m_txtEncryptionKey);
    password->setBuddy(m_txtPassword);
    QPushButton *update = commandButton(m_fraSettings, "cmdUpdate", QStringLiteral("Update"));
    QPushButton *undo = commandButton(m_fraSettings, "cmdUndo", QStringLiteral("Undo Changes"));
    for (QWidget *w :
         std::initializer_list<QWidget *>{developer, encryption, password, m_txtDeveloperKey,
                                          m_txtEncryptionKey, m_txtPassword, update, undo})
        placeAtDesign(w);
    connect(update, &QPushButton::clicked, this, &frmMain::cmdUpdate_Click);
    connect(undo, &QPushButton::clicked, this, &frmMain::cmdUndo_Click);
}

void frmMain::createProductTab()
{
    m_fraProduct = createFrame("fraProduct");
    m_productTab = new ProductTab(this, m_fraProduct);
}

void frmMain::createServerInfoTab()
{
    m_fraServerInfo = createFrame("fraServerInfo");
    QLabel *serverName = label(m_fraServerInfo, "lblServerName", QStringLiteral("Server Name:"));
    QLabel *serverStatus =
        label(m_fraServerInfo, "lblServerStatus", QStringLiteral("Server Status:"));
    QLabel *connTime = label(m_fraServerInfo, "lblConnTime", QStringLiteral("Connection Time:"));
    m_cboServer = new QComboBox(m_fraServerInfo);
    m_cboServer->setObjectName(QStringLiteral("cboServer"));
    m_cboServer->setEditable(false);
    serverName->setBuddy(m_cboServer);
    m_txtServerStatus = textBox(m_fraServerInfo, "txtServerStatus");
    m_txtConnTime = textBox(m_fraServerInfo, "txtConnTime");
    for (QLineEdit *box : {m_txtServerStatus, m_txtConnTime}) {
        box->setReadOnly(true);
        box->setText(QStringLiteral("Connecting..."));
    }
    m_cmdRefreshServer =
        commandButton(m_fraServerInfo, "cmdRefreshServer", QStringLiteral("Refresh Stats"));
    for (QWidget *w :
         std::initializer_list<QWidget *>{serverName, serverStatus, connTime, m_cboServer,
                                          m_txtServerStatus, m_txtConnTime, m_cmdRefreshServer})
        placeAtDesign(w);
    // A user's choice of an entry, the same one again included; start-up
    // probes the first entry itself.
    connect(m_cboServer, &QComboBox::activated, this, &frmMain::cboServer_Click);
    connect(m_cmdRefreshServer, &QPushButton::clicked, this, &frmMain::cmdRefreshServer_Click);
}

void frmMain::createStatsTab()
{
    m_fraStats = createFrame("fraStats");
    m_fraStatPeriod = new QGroupBox(QStringLiteral("Statistics for the last:"), m_fraStats);
    m_fraStatPeriod->setObjectName(QStringLiteral("fraStatPeriod"));
    placeAtDesign(m_fraStatPeriod);
    const char *const captions[] = {"Day", "Week", "Month", "Year"};
    const double lefts[] = {120, 1600, 3080, 4560};
    for (int i = 0; i < 4; ++i) {
        auto *option = new QRadioButton(QString::fromUtf8(captions[i]), m_fraStatPeriod);
        option->setObjectName(QStringLiteral("optStatPeriod"));
        option->setProperty("Index", i);
        option->setGeometry(toPixels(QRectF(lefts[i], 240, 1215, 375)));
        m_optStatPeriod[i] = option;
        // Clicks only: selecting the stored period at start-up fetches once,
        // through RestoreWindowSettings.
        connect(option, &QRadioButton::clicked, this, [this, i] { optStatPeriod_Click(i); });
    }
    m_optStatPeriod[3]->setChecked(true);

    m_txtStatsFilter = textBox(m_fraStats, "txtStatsFilter");
    m_txtStatsFilter->setPlaceholderText(
        QStringLiteral("Filter by transaction ID, end user, date or result"));
    m_txtStatsFilter->setClearButtonEnabled(true);
    placeAtDesign(m_txtStatsFilter);
    connect(m_txtStatsFilter, &QLineEdit::textChanged, this, &frmMain::txtStatsFilter_Change);

    // The nodes' texts are made only for the rows in sight: a year of many
    // thousand transactions stays light.
    m_statsModel = new TransactionTreeModel(this);
    m_tvStats = new QTreeView(m_fraStats);
    m_tvStats->setObjectName(QStringLiteral("tvStats"));
    m_tvStats->setModel(m_statsModel);
    m_tvStats->setHeaderHidden(true);
    m_tvStats->setUniformRowHeights(true);
    m_tvStats->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tvStats->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tvStats->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_tvStats->header()->setStretchLastSection(false);
    placeAtDesign(m_tvStats);
    connect(m_tvStats->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        const QModelIndexList selected = m_tvStats->selectionModel()->selectedIndexes();
        m_statsSelected = selected.isEmpty() ? TransactionTreeModel::Node{}
                                             : m_statsModel->node(selected.first());
    });
    m_cmdExportStats = commandButton(m_fraStats, "cmdExportStats", QStringLiteral("Export Stats"));
    m_cmdReqPackage = commandButton(m_fraStats, "cmdReqPackage", QStringLiteral("Request Package"));
    placeAtDesign(m_cmdExportStats);
    placeAtDesign(m_cmdReqPackage);
    connect(m_cmdExportStats, &QPushButton::clicked, this, &frmMain::cmdExportStats_Click);
    connect(m_cmdReqPackage, &QPushButton::clicked, this, &frmMain::cmdReqPackage_Click);

    m_INetReq = new PacketRequest(this);
    m_INetReq->setObjectName(QStringLiteral("INetReq"));
    connect(m_INetReq, &PacketRequest::completed, this, &frmMain::INetReq_Completed);
    connect(m_INetReq, &PacketRequest::failed, this, &frmMain::INetReq_Failed);
}

// ---------------------------------------------------------------------------
// Geometry in twips

double frmMain::dpiX() const
{
    return logicalDpiX() > 0 ? logicalDpiX() : 96.0;
}

double frmMain::dpiY() const
{
    return logicalDpiY() > 0 ? logicalDpiY() : 96.0;
}

QRect frmMain::toPixels(const QRectF &twips) const
{
    using WindowPlacement::toPixels;
    return QRect(qRound(toPixels(twips.left(), dpiX())), qRound(toPixels(twips.top(), dpiY())),
                 qMax(0, qRound(toPixels(twips.width(), dpiX()))),
                 qMax(0, qRound(toPixels(twips.height(), dpiY()))));
}

QRectF frmMain::toTwips(const QRect &pixels) const
{
    using WindowPlacement::toTwips;
    return QRectF(toTwips(pixels.x(), dpiX()), toTwips(pixels.y(), dpiY()),
                  toTwips(pixels.width(), dpiX()), toTwips(pixels.height(), dpiY()));
}

QSize frmMain::frameMargins() const
{
    return frameGeometry().size() - geometry().size();
}

QRectF frmMain::windowTwips() const
{
    return toTwips(frameGeometry());
}

WindowPlacement::FrameMargins frmMain::frameTwips() const
{
    const QRect outer = frameGeometry();
    const QRect client = geometry();
    using WindowPlacement::toTwips;
    return {toTwips(client.left() - outer.left(), dpiX()),
            toTwips(client.top() - outer.top(), dpiY()),
            toTwips(outer.right() - client.right(), dpiX()),
            toTwips(outer.bottom() - client.bottom(), dpiY())};
}

QRectF frmMain::availableTwips() const
{
    const QScreen *s = screen();
    return s ? toTwips(s->availableGeometry()) : QRectF(QPointF(0, 0), screenTwips());
}

QSizeF frmMain::screenTwips() const
{
    const QScreen *s = screen();
    return s ? toTwips(QRect(QPoint(0, 0), s->geometry().size())).size() : QSizeF();
}

QSizeF frmMain::clientTwips()
{
    // A hidden window gets no resize events, so its layout is brought up to
    // date here.
    if (!isVisible() && layout()) {
        layout()->invalidate();
        layout()->activate();
    }
    return toTwips(QRect(QPoint(0, 0), m_client->size())).size();
}

void frmMain::setWindowTopTwips(double top)
{
    move(pos().x(), qRound(WindowPlacement::toPixels(top, dpiY())));
}

void frmMain::setWindowLeftTwips(double left)
{
    move(qRound(WindowPlacement::toPixels(left, dpiX())), pos().y());
}

QSize frmMain::outerPixels(QSizeF twips) const
{
    // Whole pixels, never less than asked for.
    const auto pixels = [](double value, double dpi) {
        return qCeil(WindowPlacement::toPixels(value, dpi) - 1e-6);
    };
    return QSize(pixels(twips.width(), dpiX()), pixels(twips.height(), dpiY()));
}

void frmMain::setWindowSizeTwips(QSizeF size)
{
    m_wantedOuterPixels = outerPixels(size);
    if (!isVisible())
        m_frameSettled = false;
    resize(m_wantedOuterPixels - frameMargins());
    // A shown window lays itself out again on its resize event.
    if (!isVisible())
        Form_Resize();
}

// ---------------------------------------------------------------------------
// Layout

QWidget *frmMain::layoutTarget(const QString &objectName) const
{
    if (objectName == QLatin1String("tabForm"))
        return m_tabForm;
    if (objectName == QLatin1String("txtProgress"))
        return m_txtProgress;
    return m_client->findChild<QWidget *>(objectName);
}

void frmMain::applyLayout(int tab)
{
    const double toolbarHeight =
        WindowPlacement::toTwips(m_tbarDecypt->sizeHint().height(), dpiY());
    const QMap<QString, QRectF> rects = MainLayout::layout(tab, clientTwips(), toolbarHeight);
    for (auto it = rects.constBegin(); it != rects.constEnd(); ++it) {
        QWidget *target = layoutTarget(it.key());
        if (!target)
            continue;
        QRect geometry = toPixels(it.value());
        // The strip spans the client area; its headers take their own
        // height at the top and the client area draws the page below them.
        if (target == m_tabForm)
            geometry.setHeight(m_tabForm->sizeHint().height());
        target->setGeometry(geometry);
    }
    m_client->update();
}

void frmMain::Form_Resize()
{
    if (isMinimized())
        return;
    const QSizeF outer = windowTwips().size();
    const QSizeF enforced = MainLayout::enforceMinimum(outer);
    if (enforced != outer) {
        // The rest of this pass goes on with the enlarged size.
        m_wantedOuterPixels = outerPixels(enforced);
        resize(m_wantedOuterPixels - frameMargins());
    }
    applyLayout(m_tabForm->currentIndex() + 1);
}

void frmMain::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    Form_Resize();
    settleOuterSize();
}

void frmMain::moveEvent(QMoveEvent *event)
{
    QMainWindow::moveEvent(event);
    settleOuterSize();
}

void frmMain::settleOuterSize()
{
    // The outer size was set before the window had a frame. Once the window
    // manager has framed the window (at its showing, or a little later) the
    // client area is made up for the frame, once; later moves and resizes
    // are the user's.
    if (m_frameSettled || !isVisible() || !m_wantedOuterPixels.isValid() || isMaximized() ||
        isMinimized() || isFullScreen())
        return;
    const QSize frame = frameMargins();
    if (frame.isNull())
        return;
    m_frameSettled = true;
    updateMinimumSize();
    const QSize client = m_wantedOuterPixels - frame;
    if (client != size())
        resize(client);
}

void frmMain::updateMinimumSize()
{
    // The minimum is an outer size; the client area's is that less the frame.
    const QSize minimum =
        outerPixels(QSizeF(MainLayout::minWindowWidth, MainLayout::minWindowHeight));
    setMinimumSize((minimum - frameMargins()).expandedTo(QSize(1, 1)));
}

void frmMain::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    updateMinimumSize();
    settleOuterSize();
}

// ---------------------------------------------------------------------------
// Start-up and unload

bool frmMain::Form_Load()
{
    m_exitCode = 0;
    m_productTab->FillProductCombos();
    tabForm_Click();
    setWindowSizeTwips(QSizeF(MainLayout::minWindowWidth, MainLayout::minWindowHeight));
    modPublic::determineSystemDirectory();
    EnableRecordCommands(false);
    m_recentFiles = RecentFiles::read(RegistrySettings());
    fillRecentMenu();

    QString why;
    if (!modPublic::ReadSettings(m_settings, &why)) {
        Messages::inform(Messages::Icon::Critical, Messages::appTitle(),
                         Messages::lines({modPublic::storeFailureText(),
                                          QStringLiteral("Please contact Ostrand.")}),
                         why);
        m_exitCode = 1;
        return false;
    }

    if (!m_settings.password.isEmpty()) {
        modPublic::LoginAccepted = false;
        if (m_loginPrompt)
            m_loginPrompt(m_settings.password);
        if (!modPublic::LoginAccepted)
            return false;
    }

    const QString recordFile = CommandLine::recordFile(m_commandLine);
    if (!recordFile.isEmpty()) {
        m_currentRecordFile = recordFile;
        if (QFileInfo(recordFile).isFile())
            showCurrentRecord(QStringLiteral("No decryption key found. Please use 'Settings' "
                                             "menu to setup decrypt key."));
    }

    const QRectF centred = WindowPlacement::centred(windowTwips().size(), screenTwips());
    setWindowLeftTwips(centred.left());
    setWindowTopTwips(centred.top());

    {
        const QSignalBlocker quiet(m_cboServer);
        m_cboServer->clear();
        m_cboServer->addItem(QStringLiteral("Server 0"));
        m_cboServer->addItem(QStringLiteral("Server 1"));
        m_cboServer->setCurrentIndex(0);
    }
    // Selecting the first entry probes the central server.
    cboServer_Click();
    // Asked to end while it waited: start-up goes no further.
    if (TerminationSignals::requested())
        return false;

    RestoreWindowSettings();
    return true;
}

void frmMain::RestoreWindowSettings()
{
    using namespace WindowPlacement;
    const RegistrySettings registry;
    const QSizeF screen = screenTwips();

    QRectF window = windowTwips();
    setWindowTopTwips(
        acceptPosition(registry.read(QStringLiteral("posTop"), storedText(window.top())),
                       window.height(), screen.height()));
    window = windowTwips();
    setWindowLeftTwips(
        acceptPosition(registry.read(QStringLiteral("posLeft"), storedText(window.left())),
                       window.width(), screen.width()));

    const double width =
        acceptSize(registry.read(QStringLiteral("posWidth")), MainLayout::minWindowWidth);
    const double height =
        acceptSize(registry.read(QStringLiteral("posHeight"), storedText(window.height())),
                   MainLayout::minWindowHeight);
    // Values saved on a larger screen, or under other panels, would put the
    // window partly out of reach: it is kept within the available area.
    const QRectF fitted =
        fitToArea(QRectF(windowTwips().topLeft(), QSizeF(width, height)), availableTwips(),
                  QSizeF(MainLayout::minWindowWidth, MainLayout::minWindowHeight));
    setWindowLeftTwips(fitted.left());
    setWindowTopTwips(fitted.top());
    setWindowSizeTwips(fitted.size());

    const int period =
        acceptPeriod(registry.read(QStringLiteral("StatPeriod"), QString::number(defaultPeriod)));
    m_optStatPeriod[period]->setChecked(true);
    RetrieveStatistics(period);
}

void frmMain::Form_Unload()
{
    using WindowPlacement::storedText;
    RegistrySettings registry;
    const QRectF window = WindowPlacement::outerToSave(
        windowTwips(), !isMaximized() && !isMinimized(), toTwips(normalGeometry()), frameTwips());
    registry.write(QStringLiteral("posTop"), storedText(window.top()));
    registry.write(QStringLiteral("posLeft"), storedText(window.left()));
    registry.write(QStringLiteral("posWidth"), storedText(window.width()));
    registry.write(QStringLiteral("posHeight"), storedText(window.height()));
    for (int i = 0; i < 4; ++i) {
        if (m_optStatPeriod[i]->isChecked()) {
            registry.write(QStringLiteral("StatPeriod"), QString::number(i));
            break;
        }
    }
    // The window is closing: nobody is left to show a message box to.
    if (QString why; !registry.sync(&why))
        std::fprintf(stderr, "%s: the window placement was not saved. %s\n",
                     qUtf8Printable(Messages::appTitle()), qUtf8Printable(why));
}

void frmMain::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
    // A request still waiting on a server is given up: the program ends now,
    // not when the server answers, and says nothing more about it.
    m_closing = true;
    Http::abandonAll(QStringLiteral("the window was closed"));
}

// ---------------------------------------------------------------------------
// Tabs, toolbar and menus

void frmMain::tabForm_Click()
{
    const int index = m_tabForm->currentIndex() + 1;
    if (index == m_lastTab)
        return;
    Form_Resize();
    for (QFrame *frame : {m_fraStats, m_fraDecrypt, m_fraProduct, m_fraSettings, m_fraServerInfo})
        frame->hide();

    QFrame *shown = nullptr;
    switch (index) {
    case MainLayout::DecryptTab:
        shown = m_fraDecrypt;
        break;
    case MainLayout::SettingsTab:
        cmdUndo_Click();
        shown = m_fraSettings;
        break;
    case MainLayout::ProductTab:
        // Recorded before the load, which lets pending events run: the tab
        // clicked again meanwhile loads nothing more, and another tab
        // chosen meanwhile is switched to properly and stays.
        m_lastTab = index;
        m_productTab->LoadProductList();
        if (m_tabForm->currentIndex() + 1 != index)
            return;
        shown = m_fraProduct;
        break;
    case MainLayout::ServerInfoTab:
        shown = m_fraServerInfo;
        break;
    case MainLayout::StatsTab:
        shown = m_fraStats;
        break;
    default:
        break;
    }
    if (shown) {
        shown->raise();
        shown->show();
    }
    // Recorded before the work after showing, which lets pending events run:
    // a tab chosen meanwhile is then switched to properly.
    m_lastTab = index;
    if (index == MainLayout::ServerInfoTab)
        RefreshServerStatus();
}

void frmMain::tbarDecypt_ButtonClick(const QString &key)
{
    // The keys in the buttons' order, compared exactly; another key does
    // nothing.
    for (const auto &[buttonKey, entry] : m_toolbarEntries) {
        if (buttonKey == key) {
            entry->trigger();
            return;
        }
    }
}

void frmMain::mnuExit_Click()
{
    close();
}

void frmMain::mnuSetting_Click()
{
    // A dialog that was closed is on its way out; a new one reads the store.
    if (!m_settingsDialog || !m_settingsDialog->isVisible()) {
        m_settingsDialog = new frmEncryptionKey;
        m_settingsDialog->Form_Load();
    }
    m_settingsDialog->show();
    m_settingsDialog->raise();
    m_settingsDialog->activateWindow();
}

void frmMain::mnuAbout_Click()
{
    frmAbout about(this);
    about.exec();
}

void frmMain::mnuWeb_Click()
{
    modPublic::OpenProductWebPage();
}

void frmMain::mnuSupport_Click()
{
    modPublic::OpenSupportMail();
}

void frmMain::mnuPrtSetup_Click()
{
    cdgOpen.CancelError = true;
    cdgOpen.Flags = CommonDialog::PrintSetup;
    // Cancelling ends the command without a message.
    cdgOpen.ShowPrinter();
}

// ---------------------------------------------------------------------------
// Settings tab

void frmMain::cmdUndo_Click()
{
    QString developerKey, encryptionKey, password;
    modPublic::ReadSettings(developerKey, encryptionKey, password);
    m_txtPassword->setText(password);
    m_txtEncryptionKey->setText(encryptionKey);
    m_txtDeveloperKey->setText(developerKey);
    // Long keys show from their start.
    for (QLineEdit *field : {m_txtDeveloperKey, m_txtEncryptionKey, m_txtPassword})
        field->setCursorPosition(0);
}

void frmMain::cmdUpdate_Click()
{
    QString why;
    if (modPublic::WriteSettings(m_txtDeveloperKey->text(), m_txtEncryptionKey->text(),
                                 m_txtPassword->text(), &why)) {
        Messages::inform(Messages::Icon::Information, QStringLiteral("Update Successful"),
                         QStringLiteral("All keys have been updated."));
        modPublic::ReadSettings(m_settings);
    } else {
        Messages::inform(Messages::Icon::Information, QStringLiteral("Update Failed"),
                         QStringLiteral("Unable to update keys."), why);
    }
}

// ---------------------------------------------------------------------------
// Progress note

void frmMain::showProgress(const QString &note)
{
    m_txtProgress->setText(note);
    m_txtProgress->raise();
    m_txtProgress->show();
}

void frmMain::hideProgress()
{
    m_txtProgress->hide();
}
