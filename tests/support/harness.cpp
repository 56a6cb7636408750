#include "support/harness.h"

#include <ctime>
#include <fstream>

#include "game/hiscore.h"
#include "platform/headless/headless_audio.h"
#include <random>
#include <sstream>

namespace testing_support {

ScopedTempDir::ScopedTempDir() {
  old_ = std::filesystem::current_path();
  std::random_device rd;
  path_ = std::filesystem::temp_directory_path() / ("velkor-test-" + std::to_string(rd()) + "-" +
                                                   std::to_string(rd()));
  std::filesystem::create_directories(path_);
  std::filesystem::current_path(path_);
}

ScopedTempDir::~ScopedTempDir() {
  std::filesystem::current_path(old_);
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::vector<std::string> SplitCrLfLines(const std::string& bytes, bool& all_crlf) {
  std::vector<std::string> lines;
  all_crlf = true;
  std::size_t at = 0;
  while (at < bytes.size()) {
    std::size_t lf = bytes.find('\n', at);
    if (lf == std::string::npos) {
      all_crlf = false;
      lines.push_back(bytes.substr(at));
      break;
    }
    if (lf == at || bytes[lf - 1] != '\r') all_crlf = false;
    lines.push_back(bytes.substr(at, lf > at && bytes[lf - 1] == '\r' ? lf - at - 1 : lf - at));
    at = lf + 1;
  }
  return lines;
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string TableDate(std::time_t t) {
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%y/%m/%d %H:%M", &tm);
  return buf;
}

void WriteBestScoreTable(const std::filesystem::path& path) {
  game::HiscData seeded;
  seeded.table.FillDefaults();
  seeded.table.HiScores[1] = 1234;
  seeded.StoredCheckValue = 5611;
  seeded.PlayerName = "old";
  WriteFile(path, game::FormatHiscFile(seeded));
}

std::string EntryRequestLines(const std::string& query, const std::string& host) {
  return "GET /~tobrin/soft/velkor/ran/ranking.cgi?" + query +
         " HTTP/1.0\r\n"
         "Host: " +
         host +
         "\r\n"
         "Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff\r\n"
         "Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript\r\n"
         "Content-type: application/x-www-form-urlencoded\r\n"
         "\r\n";
}

GameHarness::GameHarness() { application = std::make_unique<app::TApplication>(platform); }

GameHarness::~GameHarness() { Stop(); }

void GameHarness::Start() {
  form = app::CreateForm<game::TForm1>(application.get());
  application->MainForm = form;
  form->Show();
  application->ProcessMessages();
}

void GameHarness::Frame(std::uint32_t lag) {
  platform.AdvanceMilliseconds(lag);
  application->ProcessMessages();
  application->HandleMessage();
  ++frames_run;
}

void GameHarness::Frames(int count, std::uint32_t lag) {
  for (int i = 0; i < count; ++i) Frame(lag);
}

void GameHarness::KeyDown(std::uint16_t vk, bool alt) {
  platform::Event e;
  e.type = platform::EventType::KeyDown;
  e.window = form->Handle().Id();
  e.vk = vk;
  e.alt = alt;
  platform.PostEvent(e);
  application->ProcessMessages();
}

void GameHarness::Press(platform::KeyCode key) {
  keyboard().Press(key);
  application->ProcessMessages();
}

void GameHarness::PadPress(int pad, platform::PadButton button) {
  gamepads().Press(pad, button);
  application->ProcessMessages();
}

void GameHarness::PadRelease(int pad, platform::PadButton button) {
  gamepads().Release(pad, button);
  application->ProcessMessages();
}

void GameHarness::Release(platform::KeyCode key) {
  keyboard().Release(key);
  application->ProcessMessages();
}

void GameHarness::Tap(platform::KeyCode key, bool alt) {
  if (alt) Press(platform::keys::LeftAlt);
  Press(key);
  Release(key);
  if (alt) Release(platform::keys::LeftAlt);
}

void GameHarness::Stop() {
  if (!application) return;
  application.reset();
  form = nullptr;
}

}  // namespace testing_support

namespace testing_support {

std::vector<int> GameHarness::SoundStarts() const {
  std::vector<int> out;
  const platform::HeadlessAudioDevice* audio = platform.Audio();
  if (!audio || !form) return out;
  const media::TWaveCollection& items = form->DXWaveList1->Items();
  for (const auto& start : audio->Starts()) {
    int found = -1;
    for (int i = 0; i < items.Count() && found < 0; ++i) {
      const media::TDirectSoundBuffer* master = items.Items(i)->MasterBuffer();
      if (master && master->HasInterface() && master->IBuffer().SampleId() == start.sample_id) found = i;
    }
    out.push_back(found);
  }
  return out;
}

}  // namespace testing_support
