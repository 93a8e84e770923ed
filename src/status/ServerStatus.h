#pragma once

#include <QString>

#include <functional>

// Whether a server answers and how fast: the download of its ConnTest.txt,
// timed on a monotonic clock.
namespace ServerStatus {

// The host probed for a server list entry, by the entry's last character:
// "0" the central host; "1" "www." + the server path up to its first "/" (a
// path without "/" is a host part whole); anything else, or an empty server
// path, no host.
QString hostForEntry(const QString &entryText, const QString &serverPath);

// "http://" + host + "/ConnTest.txt" (the "/" only when the host does not end
// in one); the empty string when the host is empty or would make the address
// reach another host or page.
QString probeUrl(const QString &host);

// Downloads the host's ConnTest.txt into a fresh answer file; the elapsed
// milliseconds, or -1 when the download failed or there is no host (then
// nothing is sent).
double MeasureResponseTime(const QString &host);

// The connection time as the tab shows it: "###0.00" + " ms" (two decimals,
// no thousands separator, rounded), or "< 0.1 ms" when the rounded value is
// not above zero.
QString formatConnectionTime(double milliseconds);

// What the two boxes show after a probe.
struct Outcome
{
    bool active = false;
    QString status;         // "Active" or "Down"
    QString connectionTime; // formatConnectionTime, or "Down"
};

Outcome outcomeOf(double milliseconds);

// The server a probe is for: the list entry and the package server's path.
struct Choice
{
    QString entryText;
    QString serverPath;
};

// The probe behind the tab's refresh: pending events processed twice, then
// the choice read (so one made during those events is the one probed), the
// host chosen by the entry, the time measured.
Outcome probeServer(const std::function<Choice()> &currentChoice);
Outcome probeServer(const QString &entryText, const QString &serverPath);

} // namespace ServerStatus
