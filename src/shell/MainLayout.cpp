#include "shell/MainLayout.h"

#include <QtGlobal>

namespace MainLayout {

namespace {

QMap<QString, QRectF> makeDesign()
{
    const auto r = [](double left, double top, double width, double height) {
        return QRectF(left, top, width, height);
    };
    QMap<QString, QRectF> d;
    // Decryption Utility: the toolbar on top, the record view below it.
    d[QStringLiteral("tbarDecypt")] = r(0, 0, designFrameSize.width(), 420);
    d[QStringLiteral("txtDecrypt")] = r(60, 520, 6375, 3665);

    // Decryption Settings: three label and field rows, two buttons.
    d[QStringLiteral("lblDeveloperKey")] = r(900, 960, 1815, 375);
    d[QStringLiteral("lblEncryptionKey")] = r(900, 1440, 1815, 375);
    d[QStringLiteral("lblPassword")] = r(900, 1920, 1815, 375);
    d[QStringLiteral("txtDeveloperKey")] = r(3247, 960, 2895, 360);
    d[QStringLiteral("txtEncryptionKey")] = r(3247, 1440, 2895, 360);
    d[QStringLiteral("txtPassword")] = r(3247, 1920, 2895, 360);
    d[QStringLiteral("cmdUpdate")] = r(1299, 2760, 1575, 495);
    d[QStringLiteral("cmdUndo")] = r(3897, 2760, 1575, 495);

    // Product Properties: labels at the left, each beside its field; the
    // picker at the top right, its buttons and display inside it; the
    // bottom button row.
    const struct
    {
        const char *label;
        const char *field;
        QRectF geometry;
    } rows[] = {
        {"lblProdID", "txtProdID", r(2040, 360, 1335, 345)},
        {"lblProdDesc", "txtProdDesc", r(2040, 840, 4215, 345)},
        {"lblCurrentVersion", "txtCurrentVersion", r(2040, 1320, 1335, 345)},
        {"lblServiceModel", "cboServiceModel", r(2040, 1800, 4215, 360)},
        {"lblProdPrice", "txtProdPrice", r(2040, 2280, 1335, 345)},
        {"lblCurrencyType", "cboCurrencyType", r(2040, 2760, 4215, 360)},
        {"lblDateCreated", "txtDateCreated", r(2040, 3240, 1335, 360)},
    };
    for (const auto &row : rows) {
        d[QLatin1String(row.field)] = row.geometry;
        d[QLatin1String(row.label)] = r(120, row.geometry.top(), 1880, row.geometry.height());
    }
    d[QStringLiteral("lblDateModified")] = r(3480, 3240, 1400, 360);
    d[QStringLiteral("txtDateModified")] = r(4920, 3240, 1335, 360);
    d[QStringLiteral("chkPermitOlder")] = r(4560, 1320, 1575, 375);
    d[QStringLiteral("chkLockProduct")] = r(4560, 2280, 1695, 375);
    d[QStringLiteral("picSelectProd")] = r(4080, 240, 2175, 495);
    d[QStringLiteral("cmdPrevProduct")] = r(30, 30, 375, 375);
    d[QStringLiteral("lblProdDisplay")] = r(600, 30, 975, 405);
    d[QStringLiteral("cmdNextProduct")] = r(1725, 30, 375, 375);
    d[QStringLiteral("cmdSave")] = r(120, 3840, 1575, 495);
    d[QStringLiteral("cmdResetForm")] = r(2400, 3840, 1575, 495);
    d[QStringLiteral("cmdNewProduct")] = r(4680, 3840, 1575, 495);

    // Server Information.
    d[QStringLiteral("lblServerName")] = r(892.5, 960, 1815, 375);
    d[QStringLiteral("lblServerStatus")] = r(892.5, 1440, 1815, 375);
    d[QStringLiteral("lblConnTime")] = r(892.5, 1920, 1815, 375);
    d[QStringLiteral("cboServer")] = r(3247.5, 960, 2895, 360);
    d[QStringLiteral("txtServerStatus")] = r(3247.5, 1440, 2895, 360);
    d[QStringLiteral("txtConnTime")] = r(3247.5, 1920, 2895, 360);
    d[QStringLiteral("cmdRefreshServer")] = r(2460, 2760, 1575, 495);

    // Usage Statistics.
    d[QStringLiteral("fraStatPeriod")] = r(300, 240, 5895, 735);
    // The filter box above the tree, as wide as it.
    d[QStringLiteral("txtStatsFilter")] = r(240, 1065, 6015, 330);
    d[QStringLiteral("tvStats")] = r(240, 1455, 6015, 2085);
    d[QStringLiteral("cmdExportStats")] = r(1230, 3690, 1575, 495);
    d[QStringLiteral("cmdReqPackage")] = r(3936, 3690, 1575, 495);

    // The progress note lies on the window.
    d[QStringLiteral("txtProgress")] = r(540, 840, 5895, 375);
    return d;
}

QRectF design(const char *name)
{
    return designGeometry().value(QLatin1String(name));
}

} // namespace

QString frameName(int tab)
{
    switch (tab) {
    case DecryptTab:
        return QStringLiteral("fraDecrypt");
    case SettingsTab:
        return QStringLiteral("fraSettings");
    case ProductTab:
        return QStringLiteral("fraProduct");
    case ServerInfoTab:
        return QStringLiteral("fraServerInfo");
    case StatsTab:
        return QStringLiteral("fraStats");
    default:
        return QString();
    }
}

const QMap<QString, QRectF> &designGeometry()
{
    static const QMap<QString, QRectF> geometry = makeDesign();
    return geometry;
}

QSizeF enforceMinimum(QSizeF outer)
{
    return QSizeF(qMax(outer.width(), minWindowWidth), qMax(outer.height(), minWindowHeight));
}

QMap<QString, QRectF> layout(int tab, QSizeF client, double toolbarHeight)
{
    QMap<QString, QRectF> out;
    const auto set = [&out](const char *name, const QRectF &rect) {
        out.insert(QLatin1String(name), rect);
    };

    const double stripWidth = client.width();
    const double stripHeight = client.height();
    set("tabForm", QRectF(0, 0, stripWidth, stripHeight));

    const QString frame = frameName(tab);
    if (frame.isEmpty())
        return out;
    const double W = stripWidth - frameLeft - frameRightMargin;
    const double H = stripHeight - frameTop - frameBottomMargin;
    out.insert(frame, QRectF(frameLeft, frameTop, W, H));

    // Puts the named controls at their design place with a new Left.
    const auto moveLeft = [&](std::initializer_list<const char *> names, double left) {
        for (const char *name : names) {
            QRectF r = design(name);
            r.moveLeft(left);
            set(name, r);
        }
    };
    // A column of labels and a column of fields about the frame's middle,
    // measured on the given label and field.
    const auto labelsAndFields = [&](const char *label, const char *field,
                                     std::initializer_list<const char *> labels,
                                     std::initializer_list<const char *> fields) {
        moveLeft(labels, W / 2 - (design(label).width() + design(field).width()) / 2);
        moveLeft(fields, W / 2);
    };

    switch (tab) {
    case DecryptTab:
        set("tbarDecypt", QRectF(0, 0, W, toolbarHeight));
        set("txtDecrypt", QRectF(recordViewLeft, toolbarHeight + recordViewGap, W - 120,
                                 H - toolbarHeight - 150));
        break;

    case SettingsTab:
        // Labels share one left edge, fields start at the frame's middle.
        labelsAndFields("lblDeveloperKey", "txtDeveloperKey",
                        {"lblDeveloperKey", "lblEncryptionKey", "lblPassword"},
                        {"txtDeveloperKey", "txtEncryptionKey", "txtPassword"});
        moveLeft({"cmdUpdate"}, W / 5);
        moveLeft({"cmdUndo"}, 3 * W / 5);
        break;

    case ProductTab: {
        const QRectF picker = design("picSelectProd");
        moveLeft({"picSelectProd"}, W - picker.width() - pickerRightMargin);
        for (const char *name : {"cmdSave", "cmdResetForm", "cmdNewProduct"}) {
            QRectF r = design(name);
            r.moveTop(H - r.height() - productButtonGap);
            set(name, r);
        }
        QRectF progress = design("txtProgress");
        progress.moveTop(productProgressTop);
        progress.moveLeft(frameLeft + W / 2 - progress.width() / 2);
        set("txtProgress", progress);
        break;
    }

    case ServerInfoTab:
        labelsAndFields("lblConnTime", "txtConnTime",
                        {"lblConnTime", "lblServerName", "lblServerStatus"},
                        {"txtConnTime", "cboServer", "txtServerStatus"});
        moveLeft({"cmdRefreshServer"}, W / 2 - design("cmdRefreshServer").width() / 2);
        break;

    case StatsTab: {
        QRectF exportButton = design("cmdExportStats");
        exportButton.moveTop(H - exportButton.height() - statisticsButtonGap);
        exportButton.moveLeft(W / 4 - exportButton.width() / 4);
        set("cmdExportStats", exportButton);

        QRectF request = design("cmdReqPackage");
        request.moveTop(exportButton.top());
        request.moveLeft(W / 1.25 - exportButton.width() / 1.25);
        set("cmdReqPackage", request);

        QRectF period = design("fraStatPeriod");
        period.moveLeft(W / 2 - period.width() / 2);
        set("fraStatPeriod", period);

        QRectF filter = design("txtStatsFilter");
        filter.setWidth(W - 2 * filter.left());
        set("txtStatsFilter", filter);

        QRectF tree = design("tvStats");
        tree.setWidth(W - 2 * tree.left());
        tree.setHeight(exportButton.top() - tree.top() - statisticsButtonGap);
        set("tvStats", tree);
        break;
    }
    default:
        break;
    }
    return out;
}

QRectF progressOverPeriodFrame(const QRectF &fraStats, const QRectF &fraStatPeriod,
                               QSizeF progressSize)
{
    return QRectF(fraStats.left() + fraStatPeriod.left(),
                  fraStats.top() + fraStatPeriod.top() + periodProgressOffset, progressSize.width(),
                  progressSize.height());
}

} // namespace MainLayout
