#include "pages/PageFonts.h"

#include <QCoreApplication>
#include <QFont>
#include <QFontInfo>
#include <QGuiApplication>
#include <QString>
#include <QStringList>
#include <cstdlib>
#include <mutex>

#include "base/Trace.h"

namespace movara {
namespace {

struct TSubstitute {
  const char* name;
  const char* face;
};

// Windows faces of page files and the Liberation faces with the same metrics.
constexpr TSubstitute kSubstitutes[] = {
    {"Time New Roman", "Liberation Serif"},  // the editor's own default, misspelt in files
    {"Times New Roman", "Liberation Serif"},
    {"Times", "Liberation Serif"},
    {"Arial", "Liberation Sans"},
    {"MS Sans Serif", "Liberation Sans"},
    {"Microsoft Sans Serif", "Liberation Sans"},
    {"Tahoma", "Liberation Sans"},
    {"Verdana", "Liberation Sans"},
    {"Courier New", "Liberation Mono"},
    {"Courier", "Liberation Mono"},
};

// Qt's own diagnostics (for example about XDG_RUNTIME_DIR) go to the trace sink when
// the application is ours: the command line keeps stderr for its own lines.
void QtMessageToTrace(QtMsgType, const QMessageLogContext&, const QString& msg) {
  TraceF("[Qt] %s", msg.toUtf8().constData());
}

bool MakeApplication() {
  if (QCoreApplication::instance())
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
  qInstallMessageHandler(QtMessageToTrace);
  // argv must outlive the application, which lives to the end of the process.
  static int argc = 1;
  static char arg0[] = "movara";
  static char arg1[] = "-platform";
  static char arg2[] = "offscreen";
  static char* argv[] = {arg0, arg1, arg2, nullptr};
  const char* env = std::getenv("QT_QPA_PLATFORM");
  argc = (env && *env) ? 1 : 3;
  new QGuiApplication(argc, argv);  // never destroyed: fonts stay valid until exit
  return true;
}

void InstallSubstitutions() {
  for (const TSubstitute& s : kSubstitutes) {
    const QString name = QString::fromUtf8(s.name);
    if (!QFont::substitutes(name).contains(QString::fromUtf8(s.face)))
      QFont::insertSubstitution(name, QString::fromUtf8(s.face));
  }
}

}  // namespace

bool EnsurePageFontSystem() {
  static std::once_flag once;
  static bool ok = false;
  std::call_once(once, [] {
    ok = MakeApplication();
    if (ok) {
      InstallSubstitutions();
    } else {
      Trace("[PageFonts] a non-GUI Qt application exists: title page text cannot be drawn");
    }
  });
  return ok;
}

std::string ResolvedPageFontFamily(const std::string& fontName) {
  if (!EnsurePageFontSystem()) return std::string();
  QFont f(QString::fromUtf8(fontName.c_str()));
  return QFontInfo(f).family().toStdString();
}

}  // namespace movara
