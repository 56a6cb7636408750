#pragma once
// Sound output (TDXSound and the objects it wraps the platform's sound device in) and the wave
// list whose items play through it.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "app/forms.h"
#include "media/directx.h"
#include "media/hash_collection.h"
#include "media/wave.h"
#include "platform/audio.h"

namespace platform { class Platform; }

namespace media {

// Results of the sound device, as the wrapper objects record them.
inline constexpr HRESULT DS_OK = 0;
inline constexpr HRESULT DSERR_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
inline constexpr HRESULT DSERR_INVALIDPARAM = static_cast<HRESULT>(0x80070057);
inline constexpr HRESULT DSERR_UNSUPPORTED = static_cast<HRESULT>(0x80004001);
inline constexpr HRESULT DSERR_INVALIDCALL = static_cast<HRESULT>(0x88780032);
inline constexpr HRESULT DSERR_BADFORMAT = static_cast<HRESULT>(0x88780064);
inline constexpr HRESULT DSERR_BUFFERLOST = static_cast<HRESULT>(0x88780096);

inline constexpr std::uint32_t DSBCAPS_PRIMARYBUFFER = 0x1;
inline constexpr std::uint32_t DSBCAPS_CTRLFREQUENCY = 0x20;
inline constexpr std::uint32_t DSBCAPS_CTRLPAN = 0x40;
inline constexpr std::uint32_t DSBCAPS_CTRLVOLUME = 0x80;
inline constexpr std::uint32_t DSBCAPS_STICKYFOCUS = 0x4000;
inline constexpr std::uint32_t DSBCAPS_GLOBALFOCUS = 0x8000;
inline constexpr std::uint32_t DSBSTATUS_PLAYING = 0x1;
inline constexpr std::uint32_t DSBSTATUS_BUFFERLOST = 0x2;
inline constexpr std::uint32_t DSBSTATUS_LOOPING = 0x4;
inline constexpr std::uint32_t DSSCL_NORMAL = 1;
inline constexpr std::uint32_t DSSCL_EXCLUSIVE = 3;

// How a buffer is to be made: its flags, its size in bytes and its wave format record.
struct TDSBufferDesc {
  std::uint32_t dwSize = 20;
  std::uint32_t dwFlags = 0;
  std::uint32_t dwBufferBytes = 0;
  std::uint32_t dwReserved = 0;
  const std::uint8_t* lpwfxFormat = nullptr;
  std::int32_t FormatSize = 0;  // bytes at lpwfxFormat
};

// A buffer's capabilities as the device reports them.
struct TDSBCaps {
  std::uint32_t dwSize = 20;
  std::uint32_t dwFlags = 0;
  std::uint32_t dwBufferBytes = 0;
  std::uint32_t dwUnlockTransferRate = 0;
  std::uint32_t dwPlayCpuOverhead = 0;
};

class EDirectSoundError : public EDirectXError {
 public:
  using EDirectXError::EDirectXError;
};
class EDirectSoundBufferError : public EDirectSoundError {
 public:
  using EDirectSoundError::EDirectSoundError;
};
class EDXSoundError : public app::Exception {
 public:
  using Exception::Exception;
};

class TDirectSoundBuffer;

// The sound device. Buffers made on it are listed here and destroyed with it.
class TDirectSound : public TDirectX {
 public:
  // Opens the platform's default output; EDirectSoundError when there is none. A platform without
  // its sound library raises the loader's error.
  explicit TDirectSound(platform::Platform& Platform);
  ~TDirectSound() override;
  TDirectSound(const TDirectSound&) = delete;
  TDirectSound& operator=(const TDirectSound&) = delete;

  // EDirectSoundError when the device is not there.
  platform::AudioDevice& ISound() const;
  platform::Platform& Platform() const { return platform_; }
  int BufferCount() const { return static_cast<int>(buffers_.size()); }
  TDirectSoundBuffer* Buffers(int Index) const { return buffers_.at(static_cast<std::size_t>(Index)); }

  bool GlobalFocus = false;
  bool StickyFocus = false;

 protected:
  // A lost-buffer result recorded here (a copy of a lost buffer) starts a restore too.
  void Check() override;
  // Asked to refill the buffers after a loss; nothing in the base.
  virtual void DoRestoreBuffer() {}

 private:
  friend class TDirectSoundBuffer;
  void RestoreBuffer();

  std::vector<TDirectSoundBuffer*> buffers_;
  platform::Platform& platform_;
  std::unique_ptr<platform::AudioDevice> device_;
  bool in_restore_ = false;
};

class TDirectSoundBuffer : public TDirectX {
 public:
  explicit TDirectSoundBuffer(TDirectSound* ADirectSound);
  ~TDirectSoundBuffer() override;
  TDirectSoundBuffer(const TDirectSoundBuffer&) = delete;
  TDirectSoundBuffer& operator=(const TDirectSoundBuffer&) = delete;

  TDirectSound* DSound() const { return dsound_; }
  bool HasInterface() const { return buffer_ != nullptr; }
  // EDirectSoundBufferError "IDirectSoundBuffer は作成されていません" when there is none.
  platform::SoundBuffer& IBuffer() const;

  // Makes the buffer anew (releasing the one it had); false when the device refused.
  bool CreateBuffer(const TDSBufferDesc& Desc);
  // Makes the buffer for the wave and fills it: EDirectSoundBufferError when the buffer cannot
  // be made or locked.
  void LoadFromWave(const TWave& Wave);
  void LoadFromMemory(const std::uint8_t* Format, std::int32_t FormatSize, const void* Data, std::uint32_t Size);
  // Becomes a copy of Source sharing its samples; the result is recorded on the device object,
  // and the copy has an interface only when it succeeded.
  void Duplicate(TDirectSoundBuffer& Source);

  // The device gives the whole buffer as one region; Data2 is always empty.
  bool Lock(std::uint32_t Offset, std::uint32_t Size, void*& Data1, std::uint32_t& Size1, void*& Data2,
            std::uint32_t& Size2);
  void Unlock();

  bool Play(bool Loop = false);
  bool Stop();
  void SetPosition(std::uint32_t Value);
  std::uint32_t Status();
  bool Playing();
  void SetFrequency(std::int32_t Value);
  void SetPan(std::int32_t Value);
  void SetVolume(std::int32_t Value);

  const TDSBCaps& Caps() const { return caps_; }
  // The wave format record as the device reports it.
  const std::vector<std::uint8_t>& Format() const { return format_; }
  std::int32_t FormatSize() const { return static_cast<std::int32_t>(format_.size()); }

 protected:
  void Check() override;

 private:
  void SetResult(platform::AudioResult result);
  void ReadBack();

  TDirectSound* dsound_;
  std::unique_ptr<platform::SoundBuffer> buffer_;
  TDSBCaps caps_;
  std::vector<std::uint8_t> format_;
  struct LockRecord {
    void* Data1 = nullptr;
    void* Data2 = nullptr;
    std::uint32_t Size1 = 0, Size2 = 0;
  } lock_;
  int lock_count_ = 0;
};

// The HRESULT of a platform result.
HRESULT SoundResultOf(platform::AudioResult result);

enum TDXSoundOption : unsigned { soGlobalFocus, soStickyFocus, soExclusive };
using TDXSoundOptions = std::uint8_t;
constexpr TDXSoundOptions SoundOpt(TDXSoundOption o) { return static_cast<TDXSoundOptions>(1u << o); }

enum TSoundNotifyType { snDestroying, snInitializing, snInitialize, snFinalize, snRestore };

class TCustomDXSound;

// A listener of a sound component: a handler and the object it belongs to. Two listeners are the
// same when both are.
struct TSoundNotifyEvent {
  void* Target = nullptr;
  void (*Handler)(void* Target, TCustomDXSound* Sender, TSoundNotifyType NotifyType) = nullptr;

  template <class T, void (T::*Method)(TCustomDXSound*, TSoundNotifyType)>
  static TSoundNotifyEvent Of(T* target) {
    return {target, [](void* t, TCustomDXSound* s, TSoundNotifyType n) { (static_cast<T*>(t)->*Method)(s, n); }};
  }
  void operator()(TCustomDXSound* Sender, TSoundNotifyType NotifyType) const { Handler(Target, Sender, NotifyType); }
  bool operator==(const TSoundNotifyEvent&) const = default;
};

class TCustomDXSound : public app::TComponent {
 public:
  explicit TCustomDXSound(app::TComponent* AOwner);
  ~TCustomDXSound() override;

  bool AutoInitialize = true;
  TDXSoundOptions Options = 0;
  app::TNotifyEvent OnFinalize;
  app::TNotifyEvent OnInitialize;
  app::TNotifyEvent OnInitializing;
  app::TNotifyEvent OnRestore;

  bool Initialized() const { return initialized_; }
  TDirectSound* DSound() const { return dsound_.get(); }
  TDirectSoundBuffer* Primary() const { return primary_.get(); }
  int ListenerCount() const { return static_cast<int>(listeners_.size()); }

  void Initialize();
  void Finalize();
  // Re-fills every buffer (the listeners do), as after a loss.
  void Restore();

  void RegisterNotifyEvent(const TSoundNotifyEvent& NotifyEvent);
  void UnRegisterNotifyEvent(const TSoundNotifyEvent& NotifyEvent);

  void Loaded() override;
  void BeforeDestruction() override;

 protected:
  virtual void DoFinalize();
  virtual void DoInitialize();
  virtual void DoInitializing();
  virtual void DoRestore();

 private:
  struct Hook;
  void NotifyEventList(TSoundNotifyType NotifyType);
  void Attach();
  void FormWndProc(app::TMessage& Message, const app::TWndMethod& Previous);

  bool called_do_initialize_ = false;
  std::unique_ptr<TDirectSound> dsound_;
  app::TForm* form_ = nullptr;
  bool initialized_ = false;
  bool initializing_ = false;
  std::vector<TSoundNotifyEvent> listeners_;
  TDXSoundOptions now_options_ = 0;
  std::unique_ptr<TDirectSoundBuffer> primary_;
  std::shared_ptr<Hook> hook_;
  bool destroying_ = false;
};

class TDXSound : public TCustomDXSound {
 public:
  using TCustomDXSound::TCustomDXSound;
};

class TWaveCollection;
class TCustomDXWaveList;

class TWaveCollectionItem : public THashCollectionItem {
 public:
  explicit TWaveCollectionItem(TWaveCollection* Collection);
  ~TWaveCollectionItem() override;

  // Copies the stored properties.
  void Assign(const TWaveCollectionItem& Source);

  // Starts the wave (a copy of its buffer that is free, or a new one); with Wait, returns when
  // it has ended. Nothing happens unless the item is initialised.
  void Play(bool Wait);
  // Makes the buffer again from the wave.
  void Restore();
  void Initialize();
  void Finalize();

  TWaveCollection* Collection() const;
  bool Initialized() const { return initialized_; }
  TDirectSoundBuffer* MasterBuffer() const { return master_; }
  int BufferCopyCount() const { return static_cast<int>(copies_.size()); }
  TDirectSoundBuffer* BufferCopy(int Index) const { return copies_.at(static_cast<std::size_t>(Index)); }

  bool Looped() const { return looped_; }
  void SetLooped(bool value);
  std::int32_t MaxPlayingCount() const { return max_playing_count_; }
  void SetMaxPlayingCount(std::int32_t value) { max_playing_count_ = std::max(value, 0); }
  std::int32_t Frequency() const { return frequency_; }
  void SetFrequency(std::int32_t value);
  std::int32_t Pan() const { return pan_; }
  void SetPan(std::int32_t value);
  std::int32_t Volume() const { return volume_; }
  void SetVolume(std::int32_t value);
  TWave& Wave() { return wave_; }
  const TWave& Wave() const { return wave_; }
  void SetWave(const TWave& value) { wave_.Assign(&value); }

 private:
  TDirectSoundBuffer* MakeCopy();
  void ApplyControls(TDirectSoundBuffer& buffer);

  TDirectSoundBuffer* master_ = nullptr;      // owned
  std::vector<TDirectSoundBuffer*> copies_;   // owned
  std::int32_t frequency_ = 0;
  bool initialized_ = false;
  bool looped_ = false;
  std::int32_t max_playing_count_ = 0;
  std::int32_t pan_ = 0;
  std::int32_t volume_ = 0;
  TWave wave_;
};

class TWaveCollection : public THashCollection {
 public:
  explicit TWaveCollection(TCustomDXWaveList* Owner) : owner_(Owner) {}
  ~TWaveCollection() override;

  // The item at a position; outside 0 to Count - 1, the list index error.
  TWaveCollectionItem* Items(int Index) const { return static_cast<TWaveCollectionItem*>(GetItem(Index)); }
  TWaveCollectionItem* Add() { return new TWaveCollectionItem(this); }
  void Assign(const TWaveCollection& Source);

  // The sound component the items play through, while it is running.
  TCustomDXSound* DXSound() const { return dxsound_; }
  TCustomDXWaveList* Owner() const { return owner_; }

  void Initialize(TCustomDXSound* DXSound);
  void Finalize();
  void Restore();

 private:
  TCustomDXSound* dxsound_ = nullptr;
  TCustomDXWaveList* owner_;
};

class TCustomDXWaveList : public app::TComponent {
 public:
  explicit TCustomDXWaveList(app::TComponent* AOwner);
  ~TCustomDXWaveList() override;

  TCustomDXSound* DXSound() const { return dxsound_; }
  void SetDXSound(TCustomDXSound* Value);
  TWaveCollection& Items() { return *items_; }
  const TWaveCollection& Items() const { return *items_; }
  void SetItems(const TWaveCollection& Value) { items_->Assign(Value); }

  void Notification(app::TComponent* AComponent, app::TOperation Operation) override;
  void BeforeDestruction() override;

 private:
  void DXSoundNotifyEvent(TCustomDXSound* Sender, TSoundNotifyType NotifyType);

  TCustomDXSound* dxsound_ = nullptr;
  std::unique_ptr<TWaveCollection> items_;
};

class TDXWaveList : public TCustomDXWaveList {
 public:
  using TCustomDXWaveList::TCustomDXWaveList;
};

}  // namespace media
