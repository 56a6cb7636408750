#pragma once
// The submission dialog: the table's best score, a name and a comment go to the internet
// ranking in one GET; a second button opens the ranking page in the browser.
#include <string>

#include "app/forms.h"
#include "app/stdctrls.h"
#include "ranking/nmhttp.h"

namespace ranking {

class TForm2 : public app::TForm {
 public:
  explicit TForm2(app::TComponent* AOwner);
  ~TForm2() override;

  app::TLabel* Label1;
  app::TLabel* Label2;
  app::TLabel* Label3;
  app::TLabel* Label4;
  app::TLabel* Label5;
  app::TEdit* Edit1;
  app::TEdit* Edit2;
  app::TButton* Button1;
  app::TButton* Button2;
  app::TButton* Button3;
  TNMHTTP* NMHTTP1;

  void FormCreate(app::TObject* Sender);
  void Button1Click(app::TObject* Sender);
  void Button2Click(app::TObject* Sender);
  void Button3Click(app::TObject* Sender);
  void NMHTTP1Success(CmdType Cmd);

  // True while Button1Click waits for the server.
  bool Sending() const { return sending_; }

 private:
  void FormClose(app::TObject* Sender, app::TCloseAction& Action);

  bool sending_ = false;
  // Closed while a send waited: the send is being canceled and ends without a word.
  bool closing_ = false;
};

// The dialog while it exists.
extern TForm2* Form2;
// The ranking CGI's address, set when a send starts; shown in the success message.
extern std::string RankingURL;

// "http://" + the ranking host + the CGI's path.
std::string RankingCgiURL();

}  // namespace ranking
