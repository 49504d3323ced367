#include "shell.h"

#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QUrl>
#include <deque>

#ifdef Q_OS_WIN
#include "codepage.h"
#include "win32/win32.h"
#endif

namespace Shell {
namespace {

struct State {
    std::deque<int> next;
    bool nonInteractive = false;
    QList<Call> history;
};

State& state()
{
    static State s;
    return s;
}

// A prepared result, if nothing is to be opened.
bool prepared(const Call& call, int& code)
{
    State& s = state();
    s.history.append(call);
    if (!s.next.empty()) {
        code = s.next.front();
        s.next.pop_front();
        return true;
    }
    if (s.nonInteractive) {
        code = kOpened;
        return true;
    }
    return false;
}

#ifndef Q_OS_WIN
constexpr int kFileNotFound = 2;
constexpr int kPathNotFound = 3;
constexpr int kNoAssociation = 31;

// The scheme of a link ("worldwind", "http"), lower case; empty for a file
// path. A single letter before ":" is a drive, not a scheme.
QString schemeOf(const QString& target)
{
    static const QRegularExpression scheme(QStringLiteral("^([A-Za-z][A-Za-z0-9+.-]+):"));
    const QRegularExpressionMatch m = scheme.match(target);
    return m.hasMatch() ? m.captured(1).toLower() : QString();
}

// Whether the desktop names a program for links of `scheme`.
bool hasHandler(const QString& scheme)
{
    QProcess query;
    query.start(QStringLiteral("xdg-mime"),
                {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("x-scheme-handler/") + scheme});
    if (!query.waitForStarted(5000))
        return false;
    if (!query.waitForFinished(10000)) {
        query.kill();
        query.waitForFinished(1000);
        return false;
    }
    return !query.readAllStandardOutput().trimmed().isEmpty();
}

// The target goes to xdg-open as its one argument: no shell ever sees it.
int launch(const QString& target)
{
    return QProcess::startDetached(QStringLiteral("xdg-open"), {target}) ? kOpened : kNoAssociation;
}
#endif

}  // namespace

int systemOpen(const QString& target, int show)
{
#ifdef Q_OS_WIN
    return win32::shellOpen(codepage::encode(target).constData(), show);
#else
    Q_UNUSED(show);  // xdg-open has no window states
    const QString scheme = schemeOf(target);
    if (!scheme.isEmpty() && scheme != QLatin1String("file"))
        return hasHandler(scheme) ? launch(target) : kNoAssociation;

    // A local file, relative ones against the current folder as the
    // Windows shell resolves them.
    const QString path = scheme.isEmpty() ? target : QUrl(target).toLocalFile();
    if (path.isEmpty())
        return kFileNotFound;
    const QFileInfo file(path);
    if (!file.exists())
        return QFileInfo(file.absolutePath()).isDir() ? kFileNotFound : kPathNotFound;
    return launch(file.absoluteFilePath());
#endif
}

int open(const QString& target, int show)
{
    int code;
    if (prepared({Call::Open, target, show}, code))
        return code;
    return systemOpen(target, show);
}

bool start(const QString& program)
{
    int code;
    if (prepared({Call::Start, program, kShowNormal}, code))
        return succeeded(code);
    return QProcess::startDetached(program, {});
}

QString errorText(int code)
{
    // Looked up in this order, so for 2 and 3, which the shell documents
    // twice, the first text wins.
    static const struct {
        int code;
        const char* text;
    } table[] = {
        {0, "The operating system is out of memory or resources."},
        {2, "The specified file was not found"},
        {3, "The specified path was not found."},
        {11, "The .exe file is invalid (non-Microsoft Win32 .exe or error in .exe image)."},
        {5, "The operating system denied access to the specified file."},
        {27, "The file name association is incomplete or invalid."},
        {30, "The Dynamic Data Exchange (DDE) transaction could not be completed because other DDE transactions "
             "were being processed."},
        {29, "The DDE transaction failed."},
        {28, "The DDE transaction could not be completed because the request timed out."},
        {32, "The specified dynamic-link library (DLL) was not found."},
        {2, "The specified file was not found."},
        {31, "There is no application associated with the given file name extension. This error will also be "
             "returned if you attempt to print a file that is not printable."},
        {8, "There was not enough memory to complete the operation."},
        {3, "The specified path was not found."},
        {26, "A sharing violation occurred."},
    };
    for (const auto& row : table)
        if (row.code == code)
            return QString::fromLatin1(row.text);
    return QStringLiteral("The shell could not open it (error %1).").arg(code);
}

void setNextResult(int code)
{
    state().next.push_back(code);
}

void setNonInteractive(bool on)
{
    state().nonInteractive = on;
}

QList<Call> history()
{
    return state().history;
}

void clearHistory()
{
    state().history.clear();
    state().next.clear();
}

}  // namespace Shell
