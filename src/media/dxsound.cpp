#include "media/dxsound.h"

#include <cstring>
#include <exception>

#include "app/application.h"
#include "app/sjis.h"
#include "platform/platform.h"

namespace media {

namespace {

std::string Message(std::u8string_view pattern, std::u8string_view argument) {
  return DXMessage(pattern, app::Sjis(argument));
}

std::string Message(std::u8string_view pattern, const char* argument) { return DXMessage(pattern, argument); }

std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t Le32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

// The wave format record as the device reports it: the 18-byte extended form, no extra bytes.
std::vector<std::uint8_t> FormatRecord(const platform::WaveFormat& f) {
  std::vector<std::uint8_t> out(18, 0);
  auto put16 = [&](int at, std::uint32_t v) {
    out[at] = std::uint8_t(v);
    out[at + 1] = std::uint8_t(v >> 8);
  };
  put16(0, f.format_tag);
  put16(2, f.channels);
  put16(4, f.samples_per_sec);
  put16(6, f.samples_per_sec >> 16);
  put16(8, f.avg_bytes_per_sec);
  put16(10, f.avg_bytes_per_sec >> 16);
  put16(12, f.block_align);
  put16(14, f.bits_per_sample);
  return out;
}

}  // namespace

HRESULT SoundResultOf(platform::AudioResult result) {
  using platform::AudioResult;
  switch (result) {
    case AudioResult::Ok: return DS_OK;
    case AudioResult::BufferLost: return DSERR_BUFFERLOST;
    case AudioResult::InvalidParam: return DSERR_INVALIDPARAM;
    case AudioResult::BadFormat: return DSERR_BADFORMAT;
    case AudioResult::OutOfMemory: return DSERR_OUTOFMEMORY;
    case AudioResult::InvalidCall: return DSERR_INVALIDCALL;
    case AudioResult::Unsupported: return DSERR_UNSUPPORTED;
  }
  return DSERR_INVALIDCALL;
}

// --- TDirectSound ---

TDirectSound::TDirectSound(platform::Platform& Platform) : platform_(Platform) {
  DXLoadLibrary(platform_, "DSound.dll", "DirectSoundCreate");
  device_ = platform_.OpenAudioDevice();
  if (!device_) throw EDirectSoundError(Message(u8"%s を初期化できません", "DirectSound"));
}

TDirectSound::~TDirectSound() {
  while (!buffers_.empty()) delete buffers_.back();
  device_.reset();
}

platform::AudioDevice& TDirectSound::ISound() const {
  if (!device_) throw EDirectSoundError(Message(u8"%s は作成されていません", "IDirectSound"));
  return *device_;
}

void TDirectSound::Check() {
  if (DXResult() == DSERR_BUFFERLOST) RestoreBuffer();
}

void TDirectSound::RestoreBuffer() {
  if (in_restore_) return;
  in_restore_ = true;
  struct Clear {
    bool& flag;
    ~Clear() { flag = false; }
  } clear{in_restore_};
  DoRestoreBuffer();
}

// --- TDirectSoundBuffer ---

TDirectSoundBuffer::TDirectSoundBuffer(TDirectSound* ADirectSound) : dsound_(ADirectSound) {
  dsound_->buffers_.push_back(this);
}

TDirectSoundBuffer::~TDirectSoundBuffer() {
  buffer_.reset();
  auto& list = dsound_->buffers_;
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

platform::SoundBuffer& TDirectSoundBuffer::IBuffer() const {
  if (!buffer_) throw EDirectSoundBufferError(Message(u8"%s は作成されていません", "IDirectSoundBuffer"));
  return *buffer_;
}

void TDirectSoundBuffer::SetResult(platform::AudioResult result) { SetDXResult(SoundResultOf(result)); }

void TDirectSoundBuffer::Check() {
  if (DXResult() == DSERR_BUFFERLOST) dsound_->RestoreBuffer();
}

void TDirectSoundBuffer::ReadBack() {
  caps_ = TDSBCaps{};
  format_.clear();
  if (!buffer_) return;
  caps_.dwBufferBytes = buffer_->Size();
  format_ = FormatRecord(buffer_->Format());
}

bool TDirectSoundBuffer::CreateBuffer(const TDSBufferDesc& Desc) {
  buffer_.reset();
  lock_count_ = 0;
  platform::AudioDevice& device = dsound_->ISound();
  platform::AudioResult result;
  std::unique_ptr<platform::SoundBuffer> made;
  if (Desc.dwFlags & DSBCAPS_PRIMARYBUFFER) {
    result = device.CreatePrimaryBuffer(made);
  } else if (!Desc.lpwfxFormat || Desc.FormatSize < 16) {
    result = platform::AudioResult::InvalidParam;
  } else {
    const std::uint8_t* p = Desc.lpwfxFormat;
    platform::WaveFormat f;
    f.format_tag = Le16(p);
    f.channels = Le16(p + 2);
    f.samples_per_sec = Le32(p + 4);
    f.avg_bytes_per_sec = Le32(p + 8);
    f.block_align = Le16(p + 12);
    f.bits_per_sample = Le16(p + 14);
    result = device.CreateBuffer(f, Desc.dwBufferBytes, made);
  }
  if (result == platform::AudioResult::Ok) buffer_ = std::move(made);
  SetResult(result);
  ReadBack();
  caps_.dwFlags = Desc.dwFlags;
  return buffer_ != nullptr;
}

void TDirectSoundBuffer::LoadFromWave(const TWave& Wave) {
  LoadFromMemory(Wave.Format(), Wave.FormatSize(), Wave.Data(), static_cast<std::uint32_t>(Wave.Size()));
}

void TDirectSoundBuffer::LoadFromMemory(const std::uint8_t* Format, std::int32_t FormatSize, const void* Data,
                                        std::uint32_t Size) {
  TDSBufferDesc desc;
  desc.dwFlags = DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME;
  if (dsound_->StickyFocus)
    desc.dwFlags |= DSBCAPS_STICKYFOCUS;
  else if (dsound_->GlobalFocus)
    desc.dwFlags |= DSBCAPS_GLOBALFOCUS;
  desc.dwBufferBytes = Size;
  desc.lpwfxFormat = Format;
  desc.FormatSize = FormatSize;
  if (!CreateBuffer(desc))
    throw EDirectSoundBufferError(Message(u8"%s を作成できません", u8"サウンドバッファ"));
  if (Size == 0) return;
  void *data1, *data2;
  std::uint32_t size1, size2;
  if (!Lock(0, Size, data1, size1, data2, size2)) {
    buffer_.reset();
    ReadBack();
    throw EDirectSoundBufferError(Message(u8"%s をロックできません", u8"サウンドバッファ"));
  }
  struct Unlocker {
    TDirectSoundBuffer& b;
    ~Unlocker() { b.Unlock(); }
  } unlock{*this};
  std::memcpy(data1, Data, size1);
  if (data2) std::memcpy(data2, static_cast<const std::uint8_t*>(Data) + size1, size2);
}

void TDirectSoundBuffer::Duplicate(TDirectSoundBuffer& Source) {
  buffer_.reset();
  lock_count_ = 0;
  ReadBack();
  std::unique_ptr<platform::SoundBuffer> copy;
  platform::AudioResult result = dsound_->ISound().DuplicateBuffer(Source.IBuffer(), copy);
  if (result == platform::AudioResult::Ok) {
    buffer_ = std::move(copy);
    ReadBack();
    caps_.dwFlags = Source.caps_.dwFlags;
  }
  dsound_->SetDXResult(SoundResultOf(result));
}

bool TDirectSoundBuffer::Lock(std::uint32_t Offset, std::uint32_t Size, void*& Data1, std::uint32_t& Size1,
                              void*& Data2, std::uint32_t& Size2) {
  Data1 = Data2 = nullptr;
  Size1 = Size2 = 0;
  platform::SoundBuffer& b = IBuffer();
  if (lock_count_ > 0) return false;
  std::uint8_t* bytes = nullptr;
  std::uint32_t total = 0;
  platform::AudioResult result = b.Lock(bytes, total);
  if (result == platform::AudioResult::Ok && (Offset > total || Size > total - Offset)) {
    b.Unlock();
    result = platform::AudioResult::InvalidParam;
  }
  SetResult(result);
  if (result != platform::AudioResult::Ok) return false;
  lock_.Data1 = Data1 = bytes + Offset;
  lock_.Size1 = Size1 = Size;
  lock_.Data2 = nullptr;
  lock_.Size2 = 0;
  lock_count_ = 1;
  return true;
}

void TDirectSoundBuffer::Unlock() {
  if (lock_count_ == 0) return;
  lock_count_ = 0;
  lock_ = LockRecord{};
  SetResult(IBuffer().Unlock());
}

bool TDirectSoundBuffer::Play(bool Loop) {
  SetResult(IBuffer().Play(Loop));
  return DXResult() == DS_OK;
}

bool TDirectSoundBuffer::Stop() {
  SetResult(IBuffer().Stop());
  return DXResult() == DS_OK;
}

void TDirectSoundBuffer::SetPosition(std::uint32_t Value) { SetResult(IBuffer().SetPosition(Value)); }

std::uint32_t TDirectSoundBuffer::Status() {
  std::uint32_t status = 0;
  platform::AudioResult result = IBuffer().GetStatus(status);
  SetResult(result);
  if (result != platform::AudioResult::Ok) return 0;
  std::uint32_t out = 0;
  if (status & platform::kBufferPlaying) out |= DSBSTATUS_PLAYING;
  if (status & platform::kBufferLooping) out |= DSBSTATUS_LOOPING;
  if (status & platform::kBufferLost) out |= DSBSTATUS_BUFFERLOST;
  return out;
}

bool TDirectSoundBuffer::Playing() { return (Status() & (DSBSTATUS_PLAYING | DSBSTATUS_LOOPING)) != 0; }

void TDirectSoundBuffer::SetFrequency(std::int32_t Value) {
  SetResult(IBuffer().SetFrequency(static_cast<std::uint32_t>(std::max(Value, 0))));
}

void TDirectSoundBuffer::SetPan(std::int32_t Value) { SetResult(IBuffer().SetPan(Value)); }

void TDirectSoundBuffer::SetVolume(std::int32_t Value) { SetResult(IBuffer().SetVolume(Value)); }

// --- TCustomDXSound ---

namespace {

// The sound component's device object: a lost buffer makes it restore the component.
class TDXSoundDirectSound : public TDirectSound {
 public:
  TDXSoundDirectSound(TCustomDXSound& DXSound, platform::Platform& Platform)
      : TDirectSound(Platform), dxsound_(DXSound) {}

 protected:
  void DoRestoreBuffer() override { dxsound_.Restore(); }

 private:
  TCustomDXSound& dxsound_;
};

}  // namespace

// The link the component keeps in its form's message chain. It stays in the chain once made
// (other components may have linked after it) and only forwards while the component is not
// attached or no longer exists.
struct TCustomDXSound::Hook {
  TCustomDXSound* owner = nullptr;
  bool active = false;
  app::TWndMethod previous;
};

TCustomDXSound::TCustomDXSound(app::TComponent* AOwner) : app::TComponent(AOwner) {}

TCustomDXSound::~TCustomDXSound() {
  if (!destroying_) BeforeDestruction();
  if (hook_) hook_->owner = nullptr;
}

void TCustomDXSound::BeforeDestruction() {
  if (destroying_) return;
  destroying_ = true;
  app::TComponent::BeforeDestruction();
  Finalize();
  NotifyEventList(snDestroying);
}

void TCustomDXSound::Loaded() {
  app::TComponent::Loaded();
  if (!AutoInitialize) return;
  try {
    Initialize();
  } catch (const EDirectSoundError&) {
    // No sound device: the program runs silently.
  }
}

void TCustomDXSound::Initialize() {
  Finalize();

  app::TForm* form = nullptr;
  for (app::TComponent* c = Owner(); c && !form; c = c->Owner()) form = dynamic_cast<app::TForm*>(c);
  if (!form) throw EDXSoundError(app::Sjis(u8"フォームが見つかりません"));

  NotifyEventList(snInitializing);
  DoInitializing();

  initializing_ = true;
  try {
    now_options_ = Options;
    dsound_ = std::make_unique<TDXSoundDirectSound>(*this, form->App().Platform());
    dsound_->GlobalFocus = (now_options_ & SoundOpt(soGlobalFocus)) != 0;
    dsound_->StickyFocus = (now_options_ & SoundOpt(soStickyFocus)) != 0;

    primary_ = std::make_unique<TDirectSoundBuffer>(dsound_.get());
    TDSBufferDesc desc;
    desc.dwFlags = DSBCAPS_PRIMARYBUFFER;
    if (!primary_->CreateBuffer(desc))
      throw EDXSoundError(Message(u8"%s を作成できません", u8"プライマリバッファ"));

    initialized_ = true;

    form_ = form;
    if (!hook_) {
      hook_ = std::make_shared<Hook>();
      hook_->owner = this;
      hook_->previous = form_->WindowProc;
      form_->WindowProc = [link = hook_](app::TMessage& m) {
        if (link->owner && link->active)
          link->owner->FormWndProc(m, link->previous);
        else
          link->previous(m);
      };
    }
    hook_->active = true;
    Attach();
  } catch (...) {
    Finalize();
    throw;
  }

  NotifyEventList(snInitialize);
  called_do_initialize_ = true;
  DoInitialize();
  Restore();
}

void TCustomDXSound::Attach() {
  // The device learns the window when there is one; a window made later is attached by the hook.
  if (!dsound_ || !form_ || !form_->HandleAllocated()) return;
  const bool exclusive = (now_options_ & SoundOpt(soExclusive)) != 0;
  dsound_->SetDXResult(SoundResultOf(dsound_->ISound().SetCooperativeLevel(&form_->Handle(), exclusive)));
}

void TCustomDXSound::FormWndProc(app::TMessage& Message, const app::TWndMethod& Previous) {
  Previous(Message);
  if (Message.Msg == app::WM_CREATE) Attach();
}

void TCustomDXSound::Finalize() {
  if (!initializing_) return;
  if (hook_) hook_->active = false;
  // The listeners hear of the end even when OnFinalize fails, and the device goes in any case.
  std::exception_ptr error;
  try {
    if (called_do_initialize_) {
      called_do_initialize_ = false;
      DoFinalize();
    }
  } catch (...) {
    error = std::current_exception();
  }
  try {
    NotifyEventList(snFinalize);
  } catch (...) {
    if (!error) error = std::current_exception();
  }
  initialized_ = false;
  initializing_ = false;
  primary_.reset();
  dsound_.reset();
  if (error) std::rethrow_exception(error);
}

void TCustomDXSound::Restore() {
  if (!initialized_) return;
  NotifyEventList(snRestore);
  DoRestore();
}

void TCustomDXSound::NotifyEventList(TSoundNotifyType NotifyType) {
  // Last registered first; a listener may leave the list while it is told.
  for (std::size_t i = listeners_.size(); i-- > 0;) {
    if (i >= listeners_.size()) continue;
    TSoundNotifyEvent listener = listeners_[i];
    listener(this, NotifyType);
  }
}

void TCustomDXSound::RegisterNotifyEvent(const TSoundNotifyEvent& NotifyEvent) {
  UnRegisterNotifyEvent(NotifyEvent);
  listeners_.push_back(NotifyEvent);
  if (initialized_) {
    NotifyEvent(this, snInitialize);
    NotifyEvent(this, snRestore);
  }
}

void TCustomDXSound::UnRegisterNotifyEvent(const TSoundNotifyEvent& NotifyEvent) {
  auto it = std::find(listeners_.begin(), listeners_.end(), NotifyEvent);
  if (it == listeners_.end()) return;
  listeners_.erase(it);
  if (initialized_) NotifyEvent(this, snFinalize);
}

void TCustomDXSound::DoFinalize() {
  if (OnFinalize) OnFinalize(this);
}
void TCustomDXSound::DoInitialize() {
  if (OnInitialize) OnInitialize(this);
}
void TCustomDXSound::DoInitializing() {
  if (OnInitializing) OnInitializing(this);
}
void TCustomDXSound::DoRestore() {
  if (OnRestore) OnRestore(this);
}

// --- TWaveCollectionItem ---

TWaveCollectionItem::TWaveCollectionItem(TWaveCollection* Collection) : THashCollectionItem(Collection) {}

TWaveCollectionItem::~TWaveCollectionItem() { Finalize(); }

TWaveCollection* TWaveCollectionItem::Collection() const {
  return static_cast<TWaveCollection*>(THashCollectionItem::Collection());
}

void TWaveCollectionItem::Assign(const TWaveCollectionItem& Source) {
  SetName(Source.Name());
  SetLooped(Source.looped_);
  SetMaxPlayingCount(Source.max_playing_count_);
  SetWave(Source.wave_);
}

void TWaveCollectionItem::Initialize() {
  Finalize();
  TCustomDXSound* dxsound = Collection() ? Collection()->DXSound() : nullptr;
  initialized_ = dxsound && dxsound->Initialized();
}

void TWaveCollectionItem::Finalize() {
  if (!initialized_) return;
  initialized_ = false;
  for (TDirectSoundBuffer* copy : copies_) delete copy;
  copies_.clear();
  delete master_;
  master_ = nullptr;
}

void TWaveCollectionItem::Restore() {
  if (wave_.Size() == 0) return;
  TCustomDXSound* dxsound = Collection() ? Collection()->DXSound() : nullptr;
  if (!initialized_) {
    if (dxsound && dxsound->Initialized()) Initialize();
    if (!initialized_) return;
  }
  if (!master_) master_ = new TDirectSoundBuffer(dxsound->DSound());
  master_->LoadFromWave(wave_);
  ApplyControls(*master_);
}

void TWaveCollectionItem::ApplyControls(TDirectSoundBuffer& buffer) {
  buffer.SetFrequency(frequency_);
  buffer.SetPan(pan_);
  buffer.SetVolume(volume_);
}

TDirectSoundBuffer* TWaveCollectionItem::MakeCopy() {
  if (!master_ || !master_->HasInterface()) Restore();
  if (!master_ || !master_->HasInterface()) return nullptr;
  TDirectSound* dsound = master_->DSound();
  auto* copy = new TDirectSoundBuffer(dsound);
  try {
    copy->Duplicate(*master_);
    // A master that turned out lost has just been refilled for the output now open; the copy
    // is made from that.
    if (!copy->HasInterface() && dsound->DXResult() == DSERR_BUFFERLOST && master_ && master_->HasInterface())
      copy->Duplicate(*master_);
  } catch (...) {
    delete copy;
    throw;
  }
  if (!copy->HasInterface()) {
    // A copy without a buffer would fail every later play of the item: none is kept.
    delete copy;
    return nullptr;
  }
  return copy;
}

void TWaveCollectionItem::Play(bool Wait) {
  if (!initialized_) return;

  if (looped_) {
    if (!master_) Restore();
    if (!master_) return;
    master_->Stop();
    master_->SetPosition(0);
    master_->Play(true);
    return;
  }

  TDirectSoundBuffer* chosen = nullptr;
  for (std::size_t i = 0; i < copies_.size();) {
    const std::uint32_t status = copies_[i]->Status();
    if (status & DSBSTATUS_BUFFERLOST) {
      // Copies are not refilled after a loss and could never sound again: let a new copy of the
      // refilled master take its place.
      delete copies_[i];
      copies_.erase(copies_.begin() + static_cast<std::ptrdiff_t>(i));
      continue;
    }
    if (!(status & (DSBSTATUS_PLAYING | DSBSTATUS_LOOPING))) {
      chosen = copies_[i];
      break;
    }
    ++i;
  }

  if (!chosen) {
    if (max_playing_count_ == 0 || static_cast<std::int32_t>(copies_.size()) < max_playing_count_) {
      chosen = MakeCopy();
      if (!chosen) return;
      copies_.push_back(chosen);
    } else {
      chosen = copies_.front();
      copies_.erase(copies_.begin());
      copies_.push_back(chosen);
    }
  }

  chosen->Stop();
  chosen->SetPosition(0);
  ApplyControls(*chosen);
  chosen->Play(false);

  if (Wait) {
    platform::Platform& platform = chosen->DSound()->Platform();
    while (chosen->Playing()) platform.Sleep(10);
  }
}

void TWaveCollectionItem::SetLooped(bool value) {
  if (looped_ == value) return;
  looped_ = value;
  // A playing master or copies belong to the other way of playing: start afresh.
  if (initialized_) {
    Initialize();
    Restore();
  }
}

void TWaveCollectionItem::SetFrequency(std::int32_t value) {
  frequency_ = value;
  if (master_ && master_->HasInterface()) master_->SetFrequency(value);
}

void TWaveCollectionItem::SetPan(std::int32_t value) {
  pan_ = value;
  if (master_ && master_->HasInterface()) master_->SetPan(value);
}

void TWaveCollectionItem::SetVolume(std::int32_t value) {
  volume_ = value;
  if (master_ && master_->HasInterface()) master_->SetVolume(value);
}

// --- TWaveCollection ---

TWaveCollection::~TWaveCollection() {
  // Items are finalised while the collection is still whole.
  Clear();
}

void TWaveCollection::Assign(const TWaveCollection& Source) {
  if (&Source == this) return;
  Clear();
  for (int i = 0; i < Source.Count(); ++i) Add()->Assign(*Source.Items(i));
  if (dxsound_ && dxsound_->Initialized()) {
    Initialize(dxsound_);
    Restore();
  }
}

void TWaveCollection::Initialize(TCustomDXSound* DXSound) {
  Finalize();
  dxsound_ = DXSound;
  for (int i = 0; i < Count(); ++i) Items(i)->Initialize();
}

void TWaveCollection::Finalize() {
  for (int i = 0; i < Count(); ++i) Items(i)->Finalize();
  dxsound_ = nullptr;
}

void TWaveCollection::Restore() {
  for (int i = 0; i < Count(); ++i) Items(i)->Restore();
}

// --- TCustomDXWaveList ---

TCustomDXWaveList::TCustomDXWaveList(app::TComponent* AOwner)
    : app::TComponent(AOwner), items_(std::make_unique<TWaveCollection>(this)) {}

TCustomDXWaveList::~TCustomDXWaveList() { SetDXSound(nullptr); }

void TCustomDXWaveList::BeforeDestruction() {
  app::TComponent::BeforeDestruction();
  SetDXSound(nullptr);
}

void TCustomDXWaveList::SetDXSound(TCustomDXSound* Value) {
  const auto listener = TSoundNotifyEvent::Of<TCustomDXWaveList, &TCustomDXWaveList::DXSoundNotifyEvent>(this);
  if (dxsound_) dxsound_->UnRegisterNotifyEvent(listener);
  dxsound_ = Value;
  if (dxsound_) {
    dxsound_->FreeNotification(this);
    dxsound_->RegisterNotifyEvent(listener);
  }
}

void TCustomDXWaveList::Notification(app::TComponent* AComponent, app::TOperation Operation) {
  app::TComponent::Notification(AComponent, Operation);
  if (Operation == app::TOperation::opRemove && AComponent == dxsound_) SetDXSound(nullptr);
}

void TCustomDXWaveList::DXSoundNotifyEvent(TCustomDXSound* Sender, TSoundNotifyType NotifyType) {
  switch (NotifyType) {
    case snDestroying:
      SetDXSound(nullptr);
      break;
    case snInitializing:
      break;
    case snInitialize:
      items_->Initialize(Sender);
      break;
    case snFinalize:
      items_->Finalize();
      break;
    case snRestore:
      items_->Restore();
      break;
  }
}

}  // namespace media
