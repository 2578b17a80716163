// The progress window running real films (offscreen): a film made to its end with the
// user-interface thread never kept from its events for long, Esc in the middle leaving
// a shorter film that ffmpeg reads, the preview box with Ctrl (nothing written), and a
// film that cannot be made ending with its message.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QThread>
#include <QElapsedTimer>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <filesystem>

#include "base/Format.h"
#include "base/UserMessages.h"
#include "media/ResourceLists.h"
#include "output/ui/AviProgressForm.h"
#include "script/RenderThread.h"
#include "script/ScriptCommands.h"
#include "support/TestSupport.h"

namespace movara {
namespace {

using test::TTempDir;

std::string Picture(const TTempDir& dir, const std::string& name, TColor a, TColor b) {
  TDIB d(320, 240, 24);
  for (int y = 0; y < 240; ++y)
    for (int x = 0; x < 320; ++x) d.SetPixel(x, y, ((x / 20 + y / 20) % 2) ? a : b);
  const std::string file = dir.File(name);
  d.SaveToFile(file);
  return file;
}

// Pictures and transitions for seconds s, with a tone under them.
std::string FilmScript(const TTempDir& dir, int seconds) {
  const std::string a = EncodeScriptFileName(Picture(dir, "a.bmp", 0x2040C0, 0xE0E0E0));
  const std::string b = EncodeScriptFileName(Picture(dir, "b.bmp", 0x20A040, 0x101010));
  const std::string wav = dir.File("tone.wav");
  test::RunCommand("ffmpeg -v error -y -f lavfi -i sine=frequency=440:sample_rate=44100:duration=" +
                   std::to_string(seconds) + " -c:a pcm_s16le " + test::Quote(wav));
  std::string s = "*** Video1 ***\r\n";
  for (int t = 0; t < seconds; t += 2) s += "BMP " + (t % 4 ? b : a) + " 1000\r\nFX $301 1000\r\n";
  s += "BMP " + a + " 1000\r\nNop null\r\n*** Audio1 ***\r\nAud " + EncodeScriptFileName(wav) + " " +
       std::to_string(seconds * 1000) + "\r\n";
  return s;
}

TFilmSettingsData Settings(const std::string& file, int w, int h) {
  TFilmSettingsData s;
  s.FileName = file;
  s.FrameWidth = w;
  s.FrameHeight = h;
  s.Compvars.fccType = ICTYPE_VIDEO;
  s.Compvars.fccHandler = VideoFourCC("MJPG");
  s.VideoRenderMode = vrmNone;
  return s;
}

int ProbedFrames(const std::string& file) {
  const auto r = test::RunCommand("ffprobe -v error -count_packets -select_streams v:0 -show_entries "
                                  "stream=nb_read_packets -of csv=p=0 " + test::Quote(file));
  return r.exitCode == 0 ? std::atoi(r.output.c_str()) : -1;
}

class AviProgressFormTest : public ::testing::Test {
 protected:
  void SetUp() override { CreateResourceLists(); }
  TTempDir dir;
  TScopedMessageRecorder messages;
  TFxRenderThread render;
};

TEST_F(AviProgressFormTest, FilmToTheEndWithTheEventsRunning) {
  REQUIRE_PROGRAM("ffprobe");
  const std::string script = FilmScript(dir, 8);
  render.LoadScript(script);
  const std::string film = dir.File("film.avi");
  TAviProgressForm form(nullptr, script, &render, nullptr, Settings(film, 320, 240), false);
  EXPECT_EQ(form.windowTitle(), QString::fromUtf8("Generowanie filmu AVI"));
  EXPECT_EQ(form.height(), TAviProgressForm::kHeight);
  // the longest time the user-interface thread went without running a timer
  QElapsedTimer clock;
  qint64 last = -1, longest = 0;
  int ticks = 0;
  QTimer probe;
  probe.setInterval(5);
  QObject::connect(&probe, &QTimer::timeout, [&] {
    const qint64 now = clock.elapsed();
    // gaps between two ticks that both fall while the film runs
    if (form.Thread()->Started() && !form.Thread()->Terminated()) {
      if (last >= 0) longest = std::max(longest, now - last);
      last = now;
      ++ticks;
    } else {
      last = -1;
    }
  });
  clock.start();
  probe.start();
  EXPECT_EQ(form.exec(), QDialog::Accepted);
  probe.stop();
  RecordProperty("LongestGapMs", static_cast<int>(longest));
  EXPECT_GT(ticks, 20);
  EXPECT_LT(longest, 100) << "the window went " << longest << " ms without its events";
  EXPECT_TRUE(messages.Texts().empty());
  EXPECT_EQ(form.FilmError(), meNone);
  EXPECT_EQ(form.Bar().Percent(), 100);
  EXPECT_NE(form.InfoLabel()->text().indexOf(QString::fromUtf8("Przewidywany czas zakończenia operacji: ")), -1);
  EXPECT_EQ(ProbedFrames(film), 9 * 25);
  test::ExpectFfmpegDecodes(film);
}

TEST_F(AviProgressFormTest, EscapeLeavesAShorterFilmFfmpegReads) {
  REQUIRE_PROGRAM("ffprobe");
  const std::string script = FilmScript(dir, 40);
  render.LoadScript(script);
  const std::string film = dir.File("stopped.avi");
  TAviProgressForm form(nullptr, script, &render, nullptr, Settings(film, 720, 576), false);
  QElapsedTimer stopped;
  QTimer::singleShot(0, &form, [&] {
    for (int i = 0; i < 3000 && form.Bar().Percent() < 3; ++i) QTest::qWait(10);
    stopped.start();
    QTest::keyClick(&form, Qt::Key_Escape);
  });
  EXPECT_EQ(form.exec(), QDialog::Rejected);
  EXPECT_LT(stopped.elapsed(), 15000);
  EXPECT_TRUE(form.StoppedByUser());
  EXPECT_EQ(form.FilmError(), meNone);
  EXPECT_TRUE(messages.Texts().empty());
  const int frames = ProbedFrames(film);
  EXPECT_GT(frames, 0);
  EXPECT_LT(frames, 41 * 25);
  test::ExpectFfmpegDecodes(film);
}

TEST_F(AviProgressFormTest, CtrlShowsEveryFrameAndWritesNothing) {
  const std::string script = FilmScript(dir, 2);
  render.LoadScript(script);
  const std::string film = dir.File("preview.avi");
  TAviProgressForm form(nullptr, script, &render, nullptr, Settings(film, 320, 240), true);
  EXPECT_EQ(form.height(), TAviProgressForm::kHeightWithPreview);
  ASSERT_NE(form.PreviewBox(), nullptr);
  EXPECT_EQ(form.PreviewBox()->size(), QSize(100, 100));
  EXPECT_EQ(form.PreviewBox()->geometry().top(), form.InfoLabel()->geometry().bottom() + 11);
  EXPECT_EQ(form.exec(), QDialog::Accepted);
  EXPECT_FALSE(std::filesystem::exists(film));
  EXPECT_EQ(form.PreviewBox()->FramesPainted(), 3 * 25);
  EXPECT_FALSE(form.PreviewBox()->Picture().isNull());

  // Ctrl+Space while a film runs: the box comes and goes with the window's height
  TAviProgressForm second(nullptr, script, &render, nullptr, Settings(dir.File("second.avi"), 320, 240), false);
  QTimer::singleShot(0, &second, [&] {
    for (int i = 0; i < 300 && !second.Thread()->Started(); ++i) QTest::qWait(10);
    QTest::keyClick(&second, Qt::Key_Space, Qt::ControlModifier);
    EXPECT_EQ(second.height(), TAviProgressForm::kHeightWithPreview);
    EXPECT_EQ(second.Thread()->PreviewMode(), pmEveryFrame);
    QTest::keyClick(&second, Qt::Key_Space, Qt::ControlModifier);
    EXPECT_EQ(second.height(), TAviProgressForm::kHeight);
    EXPECT_EQ(second.Thread()->PreviewMode(), pmNone);
  });
  second.exec();
}

TEST_F(AviProgressFormTest, AFilmThatCannotBeMadeEndsWithItsMessage) {
  const std::string script = FilmScript(dir, 2);
  render.LoadScript(script);
  // a folder where the film should be: the writer cannot make the file
  const std::string folder = dir.File("film.avi");
  std::filesystem::create_directories(folder);
  TAviProgressForm form(nullptr, script, &render, nullptr, Settings(folder, 320, 240), false);
  EXPECT_EQ(form.exec(), QDialog::Rejected);
  EXPECT_NE(form.FilmError(), meNone);
  ASSERT_FALSE(messages.Texts().empty());
  EXPECT_EQ(messages.Texts().back(), form.FilmErrorText());
}

TEST_F(AviProgressFormTest, AFrameThatFailsEndsTheFilmWithItsMessagesAndLeavesTheOlderFilm) {
  REQUIRE_PROGRAM("ffmpeg");
  // a clip whose 30th frame holds no picture a decoder can read (the first "00dc" of the
  // file is the stream's OpenDML index, then come the frames)
  const std::string clip = dir.File("clip.avi");
  ASSERT_EQ(test::RunCommand("ffmpeg -v error -y -f lavfi -i testsrc2=size=320x240:rate=25 -frames:v 50 -c:v mjpeg "
                             "-q:v 3 " + test::Quote(clip)).exitCode, 0);
  std::vector<uint8_t> bytes = test::ReadBytes(clip);
  size_t at = 0;
  for (int n = 0; n < 31; ++n) {
    at = std::string(bytes.begin(), bytes.end()).find("00dc", at + 1);
    ASSERT_NE(at, std::string::npos);
  }
  const uint32_t size = bytes[at + 4] | (bytes[at + 5] << 8) | (bytes[at + 6] << 16) | (uint32_t(bytes[at + 7]) << 24);
  std::fill(bytes.begin() + static_cast<long>(at) + 8, bytes.begin() + static_cast<long>(at + 8 + size), 0);
  test::WriteBytes(clip, bytes);
  const std::string script = "*** Video1 ***\r\nAVI " + EncodeScriptFileName(clip) + " 2000\r\nNop null\r\n";
  render.LoadScript(script);
  // an older film of that name stays as it was
  const std::string film = dir.File("broken.avi");
  ASSERT_EQ(test::RunCommand("ffmpeg -v error -y -f lavfi -i testsrc2=size=64x48:rate=25 -frames:v 5 -c:v mjpeg " +
                             test::Quote(film)).exitCode, 0);
  const std::vector<uint8_t> older = test::ReadBytes(film);
  TAviProgressForm form(nullptr, script, &render, nullptr, Settings(film, 320, 240), false);
  EXPECT_EQ(form.exec(), QDialog::Rejected);
  EXPECT_EQ(form.FilmError(), meBadFrame);
  EXPECT_EQ(form.FilmErrorText(), "Błąd utworzenia klatki filmu w pozycji = 1160 [ms]");
  ASSERT_GE(messages.Texts().size(), 2u);
  EXPECT_EQ(messages.Texts()[messages.Texts().size() - 2],
            "Błąd renderowania. Opuszczono 1 klatek, poprawnie wyrenderowano 29 klatek.");
  EXPECT_EQ(test::ReadBytes(film), older);
  test::ExpectFfmpegDecodes(film);
}

// The desktop's screen saver, on a session bus of the test's own: counts the requests.
class TFakeScreenSaver : public QDBusVirtualObject {
 public:
  std::atomic<int> inhibits{0}, releases{0};
  std::atomic<uint32_t> released{0};
  QString introspect(const QString&) const override { return QString(); }
  bool handleMessage(const QDBusMessage& m, const QDBusConnection& c) override {
    if (m.member() == "Inhibit" && m.arguments().size() == 2) {
      ++inhibits;
      return c.send(m.createReply(QVariant::fromValue(uint32_t(42))));
    }
    if (m.member() == "UnInhibit" && m.arguments().size() == 1) {
      ++releases;
      released = m.arguments().value(0).toUInt();
      return c.send(m.createReply());
    }
    return false;
  }
};

TEST_F(AviProgressFormTest, TheScreenSaverIsKeptAwayWhileAFilmIsMade) {
  REQUIRE_PROGRAM("dbus-daemon");
  // a private session bus
  FILE* p = ::popen("dbus-daemon --session --fork --nopidfile --print-address=1 --print-pid=1", "r");
  ASSERT_NE(p, nullptr);
  char line[512] = {0}, pidLine[64] = {0};
  const bool read = std::fgets(line, sizeof line, p) && std::fgets(pidLine, sizeof pidLine, p);
  ::pclose(p);
  ASSERT_TRUE(read);
  std::string address = line;
  address.erase(address.find_last_not_of("\r\n") + 1);
  const int daemon = std::atoi(pidLine);
  const std::string oldAddress = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS").toStdString();
  setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
  {
    TFakeScreenSaver saver;
    QThread service;
    saver.moveToThread(&service);
    service.start();
    QDBusConnection bus = QDBusConnection::connectToBus(QString::fromStdString(address), "fake-screensaver");
    ASSERT_TRUE(bus.isConnected());
    ASSERT_TRUE(bus.registerVirtualObject("/org/freedesktop/ScreenSaver", &saver));
    ASSERT_TRUE(bus.registerService("org.freedesktop.ScreenSaver"));

    const std::string script = FilmScript(dir, 2);
    render.LoadScript(script);
    TAviProgressForm form(nullptr, script, &render, nullptr, Settings(dir.File("awake.avi"), 320, 240), false);
    int during = -1;
    QTimer::singleShot(0, &form, [&] {
      for (int i = 0; i < 300 && !form.Thread()->Started(); ++i) QTest::qWait(10);
      during = saver.inhibits;
      EXPECT_TRUE(form.Inhibit().ScreenSaverInhibited());
    });
    EXPECT_EQ(form.exec(), QDialog::Accepted);
    EXPECT_EQ(during, 1);
    EXPECT_EQ(saver.releases, 1);
    EXPECT_EQ(saver.released, 42u);
    EXPECT_FALSE(form.Inhibit().ScreenSaverInhibited());
    bus.unregisterService("org.freedesktop.ScreenSaver");
    bus.unregisterObject("/org/freedesktop/ScreenSaver");
    QDBusConnection::disconnectFromBus("fake-screensaver");
    service.quit();
    service.wait();
  }
  if (oldAddress.empty())
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
  else
    setenv("DBUS_SESSION_BUS_ADDRESS", oldAddress.c_str(), 1);
  if (daemon > 0) ::kill(daemon, SIGTERM);
}

}  // namespace
}  // namespace movara
