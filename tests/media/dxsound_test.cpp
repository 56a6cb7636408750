// The sound component and the wave list on the headless sound device.
#include "media/dxsound.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "app/application.h"
#include "app/sjis.h"
#include "platform/headless/headless_audio.h"
#include "platform/headless/headless_platform.h"

namespace {

// A mono PCM wave of `ms` milliseconds at a constant level (-1..1).
void MakeWave(media::TWave& w, std::uint32_t rate, std::uint16_t bits, int ms, double level) {
  const std::uint16_t align = bits / 8;
  const std::uint8_t fmt[16] = {1, 0, 1, 0,
                                std::uint8_t(rate), std::uint8_t(rate >> 8), 0, 0,
                                std::uint8_t(rate * align), std::uint8_t((rate * align) >> 8),
                                std::uint8_t((rate * align) >> 16), 0,
                                std::uint8_t(align), 0, std::uint8_t(bits), 0};
  w.SetFormatSize(16);
  std::copy(fmt, fmt + 16, w.Format());
  const int samples = static_cast<int>(rate) * ms / 1000;
  w.SetSize(samples * align);
  for (int i = 0; i < samples; ++i) {
    if (bits == 8) {
      w.Data()[i] = static_cast<std::uint8_t>(128 + std::lround(level * 127));
    } else {
      const auto v = static_cast<std::int16_t>(std::lround(level * 32767));
      w.Data()[2 * i] = static_cast<std::uint8_t>(v & 0xFF);
      w.Data()[2 * i + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
    }
  }
}

class SoundTest : public ::testing::Test {
 protected:
  SoundTest() : app_(platform_) {
    form_ = new app::TForm(&app_);
    app_.ShowExceptionHandler = [this](const std::string& m) { reported_.push_back(m); };
  }

  // Builds the two components as a form's loading does, in either order of the wave list's
  // registration and the sound component's start.
  void Load(bool register_first = true) {
    sound_ = new media::TDXSound(form_);
    list_ = new media::TDXWaveList(form_);
    sound_->BeginLoading();
    list_->BeginLoading();
    sound_->OnRestore = [this](app::TObject*) { ++restores_; };
    for (const auto& add : items_) add(list_->Items().Add());
    if (register_first) list_->SetDXSound(sound_);
    sound_->Loaded();
    list_->Loaded();
    if (!register_first) list_->SetDXSound(sound_);
  }
  void AddItem(std::uint32_t rate, std::uint16_t bits, int ms, double level) {
    items_.push_back([=](media::TWaveCollectionItem* item) { MakeWave(item->Wave(), rate, bits, ms, level); });
  }
  media::TWaveCollectionItem* Item(int i) { return list_->Items().Items(i); }
  platform::HeadlessAudioDevice& Device() { return *platform_.Audio(); }
  void Advance(std::uint32_t ms) {
    platform_.AdvanceMilliseconds(ms);
    Device().Catch();
  }
  // The left channel's captured sample at a time.
  int At(int ms) const {
    const auto& c = platform_.Audio()->Captured();
    const std::size_t f = static_cast<std::size_t>(ms) * 441 / 10;
    return 2 * f < c.size() ? c[2 * f] : 0;
  }

  platform::HeadlessPlatform platform_;
  app::TApplication app_;
  app::TForm* form_;
  media::TDXSound* sound_ = nullptr;
  media::TDXWaveList* list_ = nullptr;
  std::vector<std::function<void(media::TWaveCollectionItem*)>> items_;
  std::vector<std::string> reported_;
  int restores_ = 0;
};

TEST_F(SoundTest, EitherOrderOfLoadingLeavesEveryItemWithItsWave) {
  for (bool register_first : {true, false}) {
    SCOPED_TRACE(register_first ? "registered first" : "initialised first");
    items_.clear();
    AddItem(22050, 16, 100, 0.5);
    AddItem(11025, 8, 50, 0.5);
    Load(register_first);
    ASSERT_TRUE(sound_->Initialized());
    EXPECT_EQ(sound_->ListenerCount(), 1);
    for (int i = 0; i < 2; ++i) {
      media::TWaveCollectionItem* item = Item(i);
      EXPECT_TRUE(item->Initialized());
      ASSERT_NE(item->MasterBuffer(), nullptr);
      ASSERT_TRUE(item->MasterBuffer()->HasInterface());
      EXPECT_EQ(item->MasterBuffer()->Caps().dwBufferBytes, static_cast<std::uint32_t>(item->Wave().Size()));
      EXPECT_EQ(item->MasterBuffer()->Caps().dwFlags, 0xE0u);
      EXPECT_EQ(item->BufferCopyCount(), 0);
    }
    EXPECT_EQ(restores_, 1);
    app::Free(list_);
    app::Free(sound_);
    restores_ = 0;
  }
}

TEST_F(SoundTest, WithoutADeviceNothingIsInitialisedNothingSoundsAndNothingIsReported) {
  platform_.SetAudioAvailable(false);
  AddItem(22050, 16, 100, 0.5);
  Load();
  EXPECT_FALSE(sound_->Initialized());
  EXPECT_FALSE(Item(0)->Initialized());
  Item(0)->Play(false);
  EXPECT_EQ(Item(0)->BufferCopyCount(), 0);
  EXPECT_TRUE(reported_.empty());
  try {
    sound_->Initialize();
    ADD_FAILURE() << "initialised without a device";
  } catch (const media::EDirectSoundError& e) {
    EXPECT_EQ(e.Message(), app::Sjis(u8"DirectSound を初期化できません"));
  }
  EXPECT_FALSE(sound_->Initialized());
}

TEST_F(SoundTest, APlatformWithoutItsSoundLibraryFailsTheFormsLoading) {
  platform_.SetLibraryMissing("dsound.dll");
  AddItem(22050, 16, 100, 0.5);
  try {
    Load();
    ADD_FAILURE() << "loaded without the sound library";
  } catch (const media::EDirectSoundError&) {
    ADD_FAILURE() << "absorbed as a missing device would be";
  } catch (const app::Exception& e) {
    EXPECT_EQ(e.Message(), app::Sjis(u8"DSound.dll を読み込めません"));
  }
  EXPECT_FALSE(sound_->Initialized());
}

TEST_F(SoundTest, ASecondPlayWhileTheFirstSoundsGetsItsOwnCopyAndBothSoundToTheEnd) {
  AddItem(22050, 16, 100, 0.25);
  Load();
  Device().StartCapture();
  const int t0 = static_cast<int>(platform_.Milliseconds());
  media::TWaveCollectionItem* item = Item(0);
  item->Play(false);
  Advance(50);
  item->Play(false);
  ASSERT_EQ(item->BufferCopyCount(), 2);
  EXPECT_TRUE(item->BufferCopy(0)->Playing());
  EXPECT_TRUE(item->BufferCopy(1)->Playing());
  Advance(60);
  EXPECT_FALSE(item->BufferCopy(0)->Playing());
  EXPECT_TRUE(item->BufferCopy(1)->Playing());
  Advance(100);
  EXPECT_FALSE(item->BufferCopy(1)->Playing());
  EXPECT_NEAR(At(t0 + 25), 8192, 300);    // the first
  EXPECT_NEAR(At(t0 + 75), 16384, 300);   // both
  EXPECT_NEAR(At(t0 + 125), 8192, 300);   // the second, to its end
  EXPECT_EQ(At(t0 + 165), 0);

  // Both finished: the next play takes the first copy again and makes none.
  media::TDirectSoundBuffer* first = item->BufferCopy(0);
  item->Play(false);
  EXPECT_EQ(item->BufferCopyCount(), 2);
  EXPECT_EQ(item->BufferCopy(0), first);
  EXPECT_TRUE(first->Playing());
  EXPECT_FALSE(item->BufferCopy(1)->Playing());
  EXPECT_EQ(Device().Starts().size(), 3u);
  for (const auto& s : Device().Starts()) EXPECT_EQ(s.sample_id, item->MasterBuffer()->IBuffer().SampleId());
}

TEST_F(SoundTest, AtMaxPlayingCountTheOldestCopyStartsAgain) {
  AddItem(22050, 16, 100, 0.25);
  Load();
  media::TWaveCollectionItem* item = Item(0);
  item->SetMaxPlayingCount(2);
  item->Play(false);
  item->Play(false);
  media::TDirectSoundBuffer* oldest = item->BufferCopy(0);
  Advance(30);
  item->Play(false);
  ASSERT_EQ(item->BufferCopyCount(), 2);
  EXPECT_EQ(item->BufferCopy(1), oldest) << "moved to the end of the list";
  Advance(80);
  EXPECT_FALSE(item->BufferCopy(0)->Playing());
  EXPECT_TRUE(oldest->Playing()) << "restarted 80 ms ago";
  item->SetMaxPlayingCount(-3);
  EXPECT_EQ(item->MaxPlayingCount(), 0);
}

TEST_F(SoundTest, AnItemWithAnEmptyWaveIsInitialisedButNeverSounds) {
  items_.push_back([](media::TWaveCollectionItem*) {});
  Load();
  media::TWaveCollectionItem* item = Item(0);
  EXPECT_TRUE(item->Initialized());
  EXPECT_EQ(item->MasterBuffer(), nullptr);
  item->Play(false);
  item->Play(true);
  EXPECT_EQ(item->BufferCopyCount(), 0);
  EXPECT_TRUE(Device().Starts().empty());
}

TEST_F(SoundTest, ALoopedItemRestartsItsMasterFromTheStart) {
  AddItem(11025, 8, 100, 0.25);
  Load();
  media::TWaveCollectionItem* item = Item(0);
  item->SetLooped(true);
  item->Play(false);
  Advance(250);
  EXPECT_EQ(item->MasterBuffer()->Status(), media::DSBSTATUS_PLAYING | media::DSBSTATUS_LOOPING);
  item->Play(true);  // no wait for a looped item
  EXPECT_EQ(item->BufferCopyCount(), 0);
  EXPECT_EQ(Device().Starts().size(), 2u);
}

TEST_F(SoundTest, PlayWithWaitReturnsWhenTheSoundHasEnded) {
  AddItem(11025, 8, 160, 0.25);
  Load();
  const std::uint32_t t0 = platform_.Milliseconds();
  Item(0)->Play(true);
  EXPECT_GE(platform_.Milliseconds() - t0, 160u);
  EXPECT_LE(platform_.Milliseconds() - t0, 180u);
  EXPECT_FALSE(Item(0)->BufferCopy(0)->Playing());
}

TEST_F(SoundTest, AfterALossTheMastersAreRefilledOnceAndTheNextPlaySounds) {
  AddItem(22050, 16, 100, 0.25);
  AddItem(11025, 8, 100, 0.25);
  Load();
  media::TWaveCollectionItem* item = Item(0);
  item->Play(false);
  item->Play(false);
  Advance(200);
  const std::uint64_t old_master = item->MasterBuffer()->IBuffer().SampleId();
  const std::uint64_t old_other = Item(1)->MasterBuffer()->IBuffer().SampleId();
  ASSERT_EQ(restores_, 1);

  Device().Lose();
  item->Play(false);
  EXPECT_EQ(restores_, 2);
  const std::uint64_t new_master = item->MasterBuffer()->IBuffer().SampleId();
  EXPECT_NE(new_master, old_master);
  EXPECT_NE(Item(1)->MasterBuffer()->IBuffer().SampleId(), old_other);
  // The copies made before the loss were not refilled; one new copy of the new master sounds.
  ASSERT_EQ(item->BufferCopyCount(), 1);
  EXPECT_EQ(item->BufferCopy(0)->IBuffer().SampleId(), new_master);
  EXPECT_TRUE(item->BufferCopy(0)->Playing());
  EXPECT_EQ(Device().Starts().back().sample_id, new_master);
  EXPECT_TRUE(reported_.empty());
}

// Records what a listener is told.
struct Listener {
  std::string name;
  std::vector<std::string>* log;
  void Notify(media::TCustomDXSound*, media::TSoundNotifyType type) {
    static const char* const kNames[] = {"destroying", "initializing", "initialize", "finalize", "restore"};
    log->push_back(name + ":" + kNames[type]);
  }
  media::TSoundNotifyEvent Event() { return media::TSoundNotifyEvent::Of<Listener, &Listener::Notify>(this); }
};

TEST_F(SoundTest, ListenersHearLastRegisteredFirstAroundTheEvents) {
  std::vector<std::string> log;
  Listener a{"a", &log}, b{"b", &log}, c{"c", &log};
  sound_ = new media::TDXSound(form_);
  sound_->OnInitializing = [&](app::TObject*) { log.push_back("OnInitializing"); };
  sound_->OnInitialize = [&](app::TObject*) { log.push_back("OnInitialize"); };
  sound_->OnRestore = [&](app::TObject*) { log.push_back("OnRestore"); };
  sound_->OnFinalize = [&](app::TObject*) { log.push_back("OnFinalize"); };
  sound_->Finalize();  // not begun: nothing
  sound_->RegisterNotifyEvent(a.Event());
  sound_->RegisterNotifyEvent(b.Event());
  sound_->RegisterNotifyEvent(a.Event());  // again: moves to the end, told nothing while stopped
  sound_->Initialize();
  sound_->RegisterNotifyEvent(c.Event());
  sound_->UnRegisterNotifyEvent(c.Event());
  sound_->UnRegisterNotifyEvent(c.Event());  // not there: nothing
  sound_->Finalize();
  sound_->Initialize();
  app::Free(sound_);
  const std::vector<std::string> expected = {
      "a:initializing", "b:initializing", "OnInitializing", "a:initialize", "b:initialize", "OnInitialize",
      "a:restore", "b:restore", "OnRestore",
      "c:initialize", "c:restore", "c:finalize",
      "OnFinalize", "a:finalize", "b:finalize",
      "a:initializing", "b:initializing", "OnInitializing", "a:initialize", "b:initialize", "OnInitialize",
      "a:restore", "b:restore", "OnRestore",
      "OnFinalize", "a:finalize", "b:finalize", "a:destroying", "b:destroying"};
  EXPECT_EQ(log, expected);
}

TEST_F(SoundTest, DestroyingEitherComponentDetachesTheWaveList) {
  AddItem(22050, 16, 100, 0.25);
  Load();
  Item(0)->Play(false);
  app::Free(sound_);
  EXPECT_EQ(list_->DXSound(), nullptr);
  EXPECT_FALSE(Item(0)->Initialized());
  EXPECT_EQ(Item(0)->BufferCopyCount(), 0);

  items_.clear();
  Load();
  app::Free(list_);
  EXPECT_EQ(sound_->ListenerCount(), 0);
  EXPECT_TRUE(sound_->Initialized());
}

TEST_F(SoundTest, AWaveTheDeviceRefusesStopsTheRestoreAtItsItemAndFailsItsOwnPlays) {
  AddItem(22050, 16, 100, 0.25);
  items_.push_back([](media::TWaveCollectionItem* item) {
    MakeWave(item->Wave(), 22050, 16, 100, 0.25);
    item->Wave().Format()[14] = 24;  // 24 bits: not offered
  });
  AddItem(11025, 8, 100, 0.25);
  Load();  // the failed restore at the end of loading is absorbed
  ASSERT_TRUE(sound_->Initialized());
  EXPECT_TRUE(Item(0)->MasterBuffer()->HasInterface());
  EXPECT_FALSE(Item(1)->MasterBuffer()->HasInterface());
  EXPECT_EQ(Item(2)->MasterBuffer(), nullptr) << "the restore stopped before it";
  Item(2)->Play(false);
  EXPECT_EQ(Item(2)->BufferCopyCount(), 1);
  try {
    Item(1)->Play(false);
    ADD_FAILURE() << "played a wave the device refuses";
  } catch (const media::EDirectSoundBufferError& e) {
    EXPECT_EQ(e.Message(), app::Sjis(u8"サウンドバッファ を作成できません"));
  }
  EXPECT_EQ(Item(1)->BufferCopyCount(), 0);
  try {
    media::TDirectSoundBuffer empty(sound_->DSound());
    empty.Play();
    ADD_FAILURE();
  } catch (const media::EDirectSoundBufferError& e) {
    EXPECT_EQ(e.Message(), app::Sjis(u8"IDirectSoundBuffer は作成されていません"));
  }
}

TEST_F(SoundTest, OffAFormThereIsNoSound) {
  auto* loose = new media::TDXSound(&app_);
  try {
    loose->Initialize();
    ADD_FAILURE();
  } catch (const media::EDXSoundError& e) {
    EXPECT_EQ(e.Message(), app::Sjis(u8"フォームが見つかりません"));
  }
  EXPECT_FALSE(loose->Initialized());
}

TEST_F(SoundTest, AWindowMadeAfterTheStartIsAttachedThroughTheFormHook) {
  sound_ = new media::TDXSound(form_);
  sound_->Options = media::SoundOpt(media::soExclusive);
  sound_->Initialize();
  EXPECT_EQ(sound_->DSound()->DXResult(), media::DS_OK) << "no window yet";
  form_->Handle();  // WM_CREATE
  EXPECT_EQ(sound_->DSound()->DXResult(), media::DSERR_UNSUPPORTED) << "an exclusive share is not offered";
}

}  // namespace
