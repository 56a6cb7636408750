#pragma once
// The submission dialog on the headless backend: the real main form opens the real dialog, a
// script plays the player, and a server on 127.0.0.1 plays the ranking.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/dialogs.h"
#include "app/sjis.h"
#include "ranking/ranking_host.h"
#include "ranking/unit2.h"
#include "support/form_driver.h"
#include "support/harness.h"
#include "support/script_server.h"

namespace submit_dialog_testing {

using testing_support::FormDriver;
using testing_support::Reply;
using testing_support::ScopedTempDir;
using testing_support::ScriptServer;
using testing_support::ServerConnection;
using testing_support::ServerScript;

inline constexpr std::uint16_t VK_RETURN = 13, VK_F9 = 120, VK_F8 = 119, VK_SPACE = 32;
inline const std::string kPath = "/~tobrin/soft/velkor/ran/ranking.cgi";
inline const std::string kFixedLines =
    "Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff\r\n"
    "Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript\r\n"
    "Content-type: application/x-www-form-urlencoded\r\n"
    "\r\n";

inline std::string Failure() { return app::Sjis(u8"送信できません。\rインターネット接続を確認して下さい。"); }
inline std::string Refusal() {
  return app::Sjis(u8"このデータを送信する事はできません。\r送信済データか送信不可なデータです。");
}

// A hisc.dat whose best score is `best`, with its check value and name.
inline std::string HiscFile(int best, int check, const std::string& name) {
  std::string file = std::to_string(best) + "\r\n26/12/09 22:00\r\n";
  for (int n = 2; n <= 10; ++n) file += std::to_string((11 - n) * 10) + "\r\n00/01/01 00:00\r\n";
  return file + std::to_string(check) + "\r\n" + name + "\r\n";
}

inline ServerScript Silent() {
  return [](ServerConnection& c) {
    c.ReadRequest();
    c.WaitForPeerClose();
  };
}

class SubmitDialogTest : public ::testing::Test {
 protected:
  // The game at its title with a table whose best score is 1234 (check value 5611).
  void StartGame(int check = 5611, const std::string& name = "abc") {
    testing_support::WriteFile("hisc.dat", HiscFile(1234, check, name));
    h.Start();
    h.form->GameState = game::gsTitle;
  }

  // Opens the dialog with Alt+F9 and runs `steps` while it is up; returns once it has closed.
  void RunDialog(const std::function<void(ranking::TForm2&)>& act) {
    driver.Then([this, act] {
      if (!ranking::Form2 || h.application->ModalForm() != ranking::Form2) return false;
      act(*ranking::Form2);
      return true;
    });
    h.KeyDown(VK_F9, /*alt=*/true);
    EXPECT_TRUE(driver.Done());
  }

  // A step that waits until the dialog is the top form again (no box open, no send waiting).
  void WhenIdle(std::function<void(ranking::TForm2&)> act) {
    driver.Then([this, act] {
      if (h.application->ModalForm() != ranking::Form2 || ranking::Form2->Sending()) return false;
      act(*ranking::Form2);
      return true;
    });
  }

  void Send(ranking::TForm2& d, const std::string& name, const std::string& comment) {
    d.Edit1->SetText(name);
    d.Edit2->SetText(comment);
    driver.Click(*d.Button1);
  }

  void UseServer(const ScriptServer& server) {
    ranking::UseRankingHost("127.0.0.1:" + std::to_string(server.Port()));
  }

  SubmitDialogTest() { driver.AnswerAllMessages(messages); }

  ScopedTempDir dir;
  testing_support::GameHarness h;
  FormDriver driver{h.platform};
  // Every message box shown, closed with Enter.
  std::vector<std::string> messages;
};

}  // namespace submit_dialog_testing
