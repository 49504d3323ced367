#include "shell.h"

#include "prepared.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QThreadPool>
#include <QTimer>
#include <QUrl>
#include <deque>
#include <memory>

#ifdef Q_OS_WIN
#include "codepage.h"
#include "win32/win32.h"
#else
// GIO follows the desktop entry rules (field codes inside arguments,
// mimeapps lists) that every desktop's own launcher follows.
#undef signals  // a name in GIO's headers that Qt defines as a keyword
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#endif

namespace Shell {
namespace {

struct State {
    PreparedAnswers<int> answers;
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
    // Kept only for tests: the program itself never prepares results, and
    // its launches must not pile up for the program's life.
    if (s.answers.answersHere())
        s.history.append(call);
    return s.answers.take(code, kOpened);
}

#ifndef Q_OS_WIN
constexpr int kFileNotFound = 2;
constexpr int kPathNotFound = 3;
constexpr int kNoAssociation = 31;
constexpr int kAssociationIncomplete = 27;

// The scheme of a link ("worldwind", "http"), lower case; empty for a file
// path. A single letter before ":" is a drive, not a scheme.
QString schemeOf(const QString& target)
{
    static const QRegularExpression scheme(QStringLiteral("^([A-Za-z][A-Za-z0-9+.-]+):"));
    const QRegularExpressionMatch m = scheme.match(target);
    return m.hasMatch() ? m.captured(1).toLower() : QString();
}

// GIO objects released when they go out of scope.
template <typename T>
struct Unref {
    void operator()(T* p) const { g_object_unref(p); }
};
template <typename T>
using GPtr = std::unique_ptr<T, Unref<T>>;
struct KeyFileFree {
    void operator()(GKeyFile* k) const { g_key_file_free(k); }
};

// The desktop's program for links of `scheme`, as its desktop entries and
// mimeapps lists name it.
GPtr<GAppInfo> handlerFor(const QString& scheme)
{
    return GPtr<GAppInfo>(g_app_info_get_default_for_uri_scheme(scheme.toUtf8().constData()));
}

// The same desktop entry, told that it needs no terminal.
GPtr<GAppInfo> withoutTerminal(GAppInfo* app)
{
    auto* entry = G_IS_DESKTOP_APP_INFO(app) ? G_DESKTOP_APP_INFO(app) : nullptr;
    const char* file = entry ? g_desktop_app_info_get_filename(entry) : nullptr;
    if (!file || !g_desktop_app_info_get_boolean(entry, G_KEY_FILE_DESKTOP_KEY_TERMINAL))
        return nullptr;
    std::unique_ptr<GKeyFile, KeyFileFree> keys(g_key_file_new());
    if (!g_key_file_load_from_file(keys.get(), file, G_KEY_FILE_NONE, nullptr))
        return nullptr;
    g_key_file_set_boolean(keys.get(), G_KEY_FILE_DESKTOP_GROUP, G_KEY_FILE_DESKTOP_KEY_TERMINAL, FALSE);
    return GPtr<GAppInfo>(G_APP_INFO(g_desktop_app_info_new_from_keyfile(keys.get())));
}

// Starts `app` with one link or file, the field codes of its Exec line
// filled in by GIO as the desktop entry rules say; no shell is involved.
// A program named for the target that cannot be started is an incomplete
// association, as the Windows shell says of a broken one.
bool launchWith(GAppInfo* app, const std::function<gboolean(GAppInfo*, GError**)>& launch)
{
    GError* error = nullptr;
    bool started = launch(app, &error);
    g_clear_error(&error);
    // A globe whose entry asks for a terminal is refused where GIO knows
    // no terminal program; a globe needs none, so it is started without.
    if (const GPtr<GAppInfo> plain = started ? nullptr : withoutTerminal(app)) {
        started = launch(plain.get(), &error);
        g_clear_error(&error);
    }
    return started;
}

int openLink(const QString& link, GAppInfo* app)
{
    // GIO would start an entry that takes only files with no argument at
    // all: the program would open, but never the link.
    if (!g_app_info_supports_uris(app))
        return kAssociationIncomplete;
    const QByteArray uri = link.toUtf8();
    return launchWith(app,
                      [&](GAppInfo* a, GError** error) {
                          GList one = {const_cast<char*>(uri.constData()), nullptr, nullptr};
                          return g_app_info_launch_uris(a, &one, nullptr, error);
                      })
               ? kOpened
               : kAssociationIncomplete;
}

int openFile(const QString& path)
{
    const GPtr<GFile> file(g_file_new_for_path(QFile::encodeName(path).constData()));
    const GPtr<GAppInfo> app(g_file_query_default_handler(file.get(), nullptr, nullptr));
    if (!app)
        return kNoAssociation;
    return launchWith(app.get(),
                      [&](GAppInfo* a, GError** error) {
                          GList one = {file.get(), nullptr, nullptr};
                          return g_app_info_launch(a, &one, nullptr, error);
                      })
               ? kOpened
               : kAssociationIncomplete;
}
#endif

}  // namespace

int systemOpen(const QString& target, int show, const QStringList& fallbacks)
{
#ifdef Q_OS_WIN
    Q_UNUSED(fallbacks);
    return win32::shellOpen(codepage::encode(target).constData(), show);
#else
    Q_UNUSED(show);  // the desktop has no window states to hand on
    const QString scheme = schemeOf(target);
    if (!scheme.isEmpty() && scheme != QLatin1String("file")) {
        // The target's own program first; another form of it only where
        // the desktop has none for the target.
        for (const QString& form : QStringList{target} + fallbacks) {
            const QString formScheme = schemeOf(form);
            if (formScheme.isEmpty() || formScheme == QLatin1String("file"))
                continue;
            if (const GPtr<GAppInfo> app = handlerFor(formScheme))
                return openLink(form, app.get());
        }
        return kNoAssociation;
    }

    // A local file, relative ones against the current folder as the
    // Windows shell resolves them.
    const QString path = scheme.isEmpty() ? target : QUrl(target).toLocalFile();
    if (path.isEmpty())
        return kFileNotFound;
    const QFileInfo file(path);
    if (!file.exists())
        return QFileInfo(file.absolutePath()).isDir() ? kFileNotFound : kPathNotFound;
    return openFile(file.absoluteFilePath());
#endif
}

void open(const QString& target, int show, const QStringList& fallbacks, QObject* context,
          std::function<void(int)> done)
{
    int code;
    if (prepared({Call::Open, target, show, fallbacks}, code)) {
        QTimer::singleShot(0, context, [done, code] { done(code); });
        return;
    }
#ifdef Q_OS_WIN
    // ShellExecuteA wants the thread that owns the windows.
    code = systemOpen(target, show, fallbacks);
    QTimer::singleShot(0, context, [done, code] { done(code); });
#else
    // A relative file is found in the current folder as it is now, not as
    // it may be when the worker runs.
    const QString resolved = target.isEmpty() || !schemeOf(target).isEmpty() ? target
                                                                             : QDir::current().absoluteFilePath(target);
    // The answer comes back through the application object, which outlives
    // every window; `context` is looked at only there, on its own thread.
    const QPointer<QObject> guard(context);
    QThreadPool::globalInstance()->start([=] {
        const int answer = systemOpen(resolved, show, fallbacks);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [=] {
                if (guard)
                    done(answer);
            },
            Qt::QueuedConnection);
    });
#endif
}

bool start(const QString& program)
{
    int code;
    if (prepared({Call::Start, program, kShowNormal, {}}, code))
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
    state().answers.push(code);
}

void setNonInteractive(bool on)
{
    state().answers.setNonInteractive(on);
}

QList<Call> history()
{
    return state().history;
}

void clearHistory()
{
    state().history.clear();
    state().answers.clear();
}

}  // namespace Shell
