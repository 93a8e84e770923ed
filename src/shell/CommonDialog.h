#pragma once

#include <QString>
#include <QStringList>

// The one shared file and printer dialog of the main window (cdgOpen). Each
// use sets some of its properties and shows a box; every property a use does
// not set keeps what the last use left, so the Open box proposes the last
// name and a default extension, once set, stays. The boxes themselves come
// from a backend: file and printer dialogs in the program, a script in tests.
class CommonDialog
{
public:
    // Flags of the boxes.
    static constexpr int HideReadOnly = 4;
    static constexpr int OverwritePrompt = 2;
    static constexpr int PrintSetup = 64;

    enum class Result
    {
        Accepted,
        Cancelled
    };

    struct FileRequest
    {
        enum Kind
        {
            Open,
            Save
        } kind = Open;
        int flags = 0;
        QString filter;
        int filterIndex = 0;
        QString fileName;
        QString defaultExt;
    };

    struct FileAnswer
    {
        bool accepted = false;
        QString fileName;
        // 1-based; 0 keeps the filter index as it was.
        int filterIndex = 0;
    };

    class Backend
    {
    public:
        virtual ~Backend() = default;
        virtual FileAnswer showFile(const FileRequest &request) = 0;
        // True when the printer box was confirmed.
        virtual bool showPrinter(int flags) = 0;
    };

    // Cancelling a box is reported as Result::Cancelled, whatever
    // CancelError holds (every user of the dialog sets it).
    bool CancelError = false;
    int Flags = 0;
    QString Filter;
    int FilterIndex = 0;
    QString FileName;
    QString DefaultExt;

    void setBackend(Backend *backend) { m_backend = backend; }

    // A box without a backend counts as cancelled. On acceptance FileName
    // holds the chosen path (with DefaultExt added to a name that has no
    // extension) and FilterIndex the chosen filter.
    Result ShowOpen();
    Result ShowSave();
    Result ShowPrinter();

    // "desc|pattern|desc|pattern" (a trailing bar allowed) as the file
    // dialog's name filters, "desc (patterns)"; ";" separates patterns.
    static QStringList nameFilters(const QString &filter);
    // The name with ".ext" added when its file part has no extension.
    static QString withDefaultExt(const QString &fileName, const QString &defaultExt);

private:
    Result showFile(FileRequest::Kind kind);

    Backend *m_backend = nullptr;
};
