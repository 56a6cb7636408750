#include "media/dxdraw.h"

#include "app/application.h"

namespace media {

void TDXForm::StoreWindowPlacement() {
  placement_ = Handle().Placement();
  placement_stored_ = true;
}

void TDXForm::RestoreWindowPlacement() {
  if (!placement_stored_) return;
  Handle().SetPlacement(placement_);
  placement_stored_ = false;
}

TDXDraw::TDXDraw(app::TComponent* AOwner) : app::TComponent(AOwner) {
  form_ = dynamic_cast<app::TForm*>(AOwner);
  if (form_) {
    old_window_proc_ = form_->WindowProc;
    form_->WindowProc = [this](app::TMessage& m) { FormWindowProc(m); };
  }
}

TDXDraw::~TDXDraw() {
  Finalize();
  if (form_) form_->WindowProc = old_window_proc_;
}

void TDXDraw::FormWindowProc(app::TMessage& m) {
  if (m.Msg == app::WM_DESTROY) {
    Finalize();
    old_window_proc_(m);
    return;
  }
  old_window_proc_(m);
  if (m.Msg == app::WM_WINDOWPOSCHANGED && (m.LParam & app::SWP_SHOWWINDOW) && AutoInitialize &&
      !auto_initialized_)
    Initialize();
}

void TDXDraw::Initialize() {
  auto_initialized_ = true;
  Finalize();
  updating_ = true;
  started_ = true;
  surface_ = std::make_unique<TDirectDrawSurface>(std::max(SurfaceWidth, 1), std::max(SurfaceHeight, 1));
  updating_ = false;
  initialized_ = true;
  initialize_event_fired_ = true;
  if (OnInitialize) OnInitialize(this);
}

void TDXDraw::Finalize() {
  if (!started_) return;
  updating_ = true;
  struct Release {
    TDXDraw& d;
    ~Release() {
      d.started_ = false;
      d.initialized_ = false;
      d.surface_.reset();
      d.updating_ = false;
    }
  } release{*this};
  if (initialize_event_fired_) {
    initialize_event_fired_ = false;
    if (OnFinalize) OnFinalize(this);
  }
}

void TDXDraw::Present() {
  if (!ReadyToDraw()) return;
  if (options_ & Opt(doWaitVBlank)) app::Application->Platform().WaitForVerticalBlank();
}

}  // namespace media
