#pragma once
// The HTTP/1.0 client that carries the ranking request: one GET, its reply header and body,
// success or failure, and the redirects in between.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "ranking/nmextstr.h"
#include "ranking/psock.h"

namespace ranking {

enum CmdType : int { CmdGET = 0 };

using TResultEvent = std::function<void(CmdType Cmd)>;

struct THeaderInfo {
  std::string LocalMailAddress;
  std::string LocalProgram;
  std::string Cookie;
  std::string Referer;
  std::string UserId;
  std::string Password;
};

// The n-th field (1-based) of `text` cut at every `delimiter`; empty when there are fewer.
std::string NthField(std::string_view text, char delimiter, int n);
// The 1-based position of the n-th `ch` in `text`; the text's length plus 1 when there is no
// n-th one or it is the last character.
std::size_t NthPosition(std::string_view text, char ch, int n);

class TNMHTTP : public TPowersock {
 public:
  // Bounds on what one reply may make the client hold, and on the redirects of one Get.
  static constexpr std::size_t kMaxHeaderBytes = 65536;
  static constexpr std::int32_t kMaxBodyBytes = 1048576;
  static constexpr int kMaxRedirects = 5;
  static constexpr std::size_t kMaxRequestPath = 256;

  explicit TNMHTTP(app::TComponent* AOwner);

  std::string Body = "Default.htm";
  std::string Header = "Head.txt";
  THeaderInfo HeaderInfo;
  bool InputFileMode = false;
  bool OutputFileMode = false;

  app::TNotifyEvent OnAboutToSend;
  TResultEvent OnSuccess;
  TResultEvent OnFailure;
  THandlerEvent OnRedirect;
  app::TNotifyEvent OnAuthenticationNeeded;

  // Sends a GET for `url` and reads the whole reply; returns when the exchange is over.
  void Get(const std::string& url);
  void Abort() override;

  // Request state.
  std::string URL;
  CmdType Command = CmdGET;
  std::string RequestPath;
  TExStringList RequestHeader;
  std::int16_t StatusCode = 0;
  std::string RedirectURL;
  std::string ReceivedCookie;
  std::int32_t ReplyLength = 0;

  // The steps of a request, in order.
  void SplitURL();
  void BuildRequestHeader();
  void SendRequest();
  void ReadReplyHeader();

 private:
  void RunRequest();

  bool header_cut_ = false;
  // A Location or Set-Cookie value held a control byte: it must not reach the next request.
  bool unsafe_value_ = false;
};

}  // namespace ranking
