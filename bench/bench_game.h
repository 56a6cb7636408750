#pragma once
// The real form for benchmarks, in a directory of its own: it reads and writes hisc.dat in the
// current one.
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "app/application.h"
#include "game/unit1.h"
#include "platform/platform.h"

class BenchGame {
 public:
  explicit BenchGame(platform::Platform& platform) {
    old_ = std::filesystem::current_path();
    dir_ = std::filesystem::temp_directory_path() / ("velkor-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
    std::filesystem::current_path(dir_);
    application = std::make_unique<app::TApplication>(platform);
    form = app::CreateForm<game::TForm1>(application.get());
    application->MainForm = form;
    form->Show();
    application->ProcessMessages();
  }
  ~BenchGame() {
    application.reset();
    std::filesystem::current_path(old_);
    std::filesystem::remove_all(dir_);
  }
  BenchGame(const BenchGame&) = delete;
  BenchGame& operator=(const BenchGame&) = delete;

  std::unique_ptr<app::TApplication> application;
  game::TForm1* form = nullptr;

 private:
  std::filesystem::path old_, dir_;
};
