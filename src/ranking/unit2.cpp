#include "ranking/unit2.h"

#include "app/application.h"
#include "app/dialogs.h"
#include "app/sjis.h"
#include "app/sysutils.h"
#include "game/hiscore.h"
#include "game/unit1.h"
#include "ranking/ranking_host.h"

namespace ranking {

TForm2* Form2 = nullptr;
std::string RankingURL;

std::string RankingCgiURL() { return "http://" + RankingHost() + "/~tobrin/soft/velkor/ran/ranking.cgi"; }

namespace {

template <class T>
T* Place(TForm2* form, const char* name, int left, int top, int width = 0, int height = 0) {
  T* control = new T(form);
  control->Name = name;
  control->SetParent(form);
  control->Left = left;
  control->Top = top;
  if (width > 0) {
    control->Width = width;
    control->Height = height;
  }
  return control;
}

}  // namespace

TForm2::TForm2(app::TComponent* AOwner) : app::TForm(AOwner) {
  Form2 = this;
  // The form's stored description.
  Name = "Form2";
  Caption = app::Sjis(u8"ハイスコア自動送信");
  SetBorderStyle(app::bsSingle);
  ScreenCenter = false;
  Left = 577;
  Top = 210;
  ClientWidth = 309;
  ClientHeight = 204;
  Color = app::clBtnFace;
  Font = app::TFont{9, app::clBlack};  // a 12-pixel em
  OnCreate = [this](app::TObject* s) { FormCreate(s); };
  OnClose = [this](app::TObject* s, app::TCloseAction& a) { FormClose(s, a); };

  Label1 = Place<app::TLabel>(this, "Label1", 0, 0);
  Label1->Align = app::alTop;
  Label1->SetCaption(app::Sjis(u8"ハイスコアの送信準備OKです。\rインターネットの接続をして下さい。"));
  Label2 = Place<app::TLabel>(this, "Label2", 72, 40);
  Label2->SetCaption(app::Sjis(u8"ハイスコア"));
  Label4 = Place<app::TLabel>(this, "Label4", 160, 40);
  Label3 = Place<app::TLabel>(this, "Label3", 8, 72);
  Label3->SetCaption(app::Sjis(u8"名前\r（10字以内）"));
  Edit1 = Place<app::TEdit>(this, "Edit1", 72, 72, 89, 20);
  Edit1->MaxLength = 10;
  Edit1->TabOrder = 2;
  Label5 = Place<app::TLabel>(this, "Label5", 8, 104);
  Label5->SetCaption(app::Sjis(u8"コメント\r(40字以内)"));
  Edit2 = Place<app::TEdit>(this, "Edit2", 72, 104, 233, 20);
  Edit2->MaxLength = 40;
  Edit2->TabOrder = 3;
  Button1 = Place<app::TButton>(this, "Button1", 48, 136, 97, 33);
  Button1->SetCaption(app::Sjis(u8"ハイスコア送信"));
  Button1->TabOrder = 0;
  Button1->OnClick = [this](app::TObject* s) { Button1Click(s); };
  Button2 = Place<app::TButton>(this, "Button2", 176, 136, 89, 33);
  Button2->SetCaption(app::Sjis(u8"閉じる"));
  Button2->TabOrder = 1;
  Button2->OnClick = [this](app::TObject* s) { Button2Click(s); };
  Button3 = Place<app::TButton>(this, "Button3", 48, 176, 217, 25);
  Button3->SetCaption(app::Sjis(u8"ｲﾝﾀﾈｰｯﾄﾗﾝｷﾝｸﾞ見る (ﾌﾞﾗｳｻﾞ起動)"));
  Button3->TabOrder = 4;
  Button3->OnClick = [this](app::TObject* s) { Button3Click(s); };

  NMHTTP1 = new TNMHTTP(this);
  NMHTTP1->BeginLoading();
  NMHTTP1->Name = "NMHTTP1";
  NMHTTP1->Port = 0;
  NMHTTP1->ReportLevel = 0;
  NMHTTP1->Body = "Default.htm";
  NMHTTP1->Header = "Head.txt";
  NMHTTP1->InputFileMode = false;
  NMHTTP1->OutputFileMode = false;
  NMHTTP1->ProxyPort = 0;
  // A server that accepts and never answers must not keep the dialog waiting for ever.
  NMHTTP1->TimeOut = 15000;
  NMHTTP1->OnSuccess = [this](CmdType cmd) { NMHTTP1Success(cmd); };
  NMHTTP1->Loaded();
}

TForm2::~TForm2() {
  if (Form2 == this) Form2 = nullptr;
}

void TForm2::FormCreate(app::TObject*) {
  game::TForm1& main = *game::Form1;
  if (game::CheckValueOf(main.SubmitScore) != main.StoredCheckValue) {
    Label1->SetCaption(app::Sjis(u8"このデータを送信する事はできません。\r送信済データか送信不可なデータです。"));
    Button1->SetEnabled(false);
  }
  Label4->SetCaption(app::IntToStr(main.SubmitScore));
  Edit1->SetText(main.PlayerName);
}

void TForm2::Button1Click(app::TObject*) {
  // One send at a time: the client pumps messages while it waits, so the button stays live.
  if (sending_) return;
  std::string message;
  if (Edit1->Text().empty()) message = app::Sjis(u8"名前が記入されてません。");
  if (Edit2->Text().empty()) message = app::Sjis(u8"コメントが記入されてません。");
  if (!message.empty()) {
    app::ShowMessage(message);
    return;
  }
  RankingURL = RankingCgiURL();
  const std::string query = "command=entry&name=" + Edit1->Text() + "&score=" + Label4->Caption() +
                            "&pass_s=" + app::IntToStr(game::Form1->StoredCheckValue) +
                            "&comment=" + Edit2->Text() + "*";
  const std::string url = RankingURL + "?" + query;

  sending_ = true;
  bool failed = false;
  try {
    NMHTTP1->Get(url);
  } catch (const std::exception&) {
    failed = true;
  }
  sending_ = false;
  // A send canceled by closing the dialog or ending the program says nothing.
  if (failed && !closing_ && !App().Terminated())
    app::ShowMessage(app::Sjis(u8"送信できません。\rインターネット接続を確認して下さい。"));
}

void TForm2::Button2Click(app::TObject*) { Close(); }

void TForm2::Button3Click(app::TObject*) { App().Platform().OpenUrl(RankingCgiURL()); }

void TForm2::NMHTTP1Success(CmdType) {
  if (closing_) return;
  game::Form1->StoredCheckValue = 0;
  game::Form1->PlayerName = Edit1->Text();
  app::ShowMessage(app::Sjis(u8"送信成功です！\rハイスコア申請ありがとうございました。\rランキングの確認は\r") + RankingURL +
                   "\r" + app::Sjis(u8"にアクセスして下さい。"));
  Button1->SetEnabled(false);
}

void TForm2::FormClose(app::TObject*, app::TCloseAction&) {
  if (!sending_) return;
  closing_ = true;
  NMHTTP1->Abort();
}

}  // namespace ranking
