#include "midi/platform/alsa/alsa_backend.h"

#include <alsa/asoundlib.h>

#include <cerrno>
#include <mutex>
#include <string>

#include "midi/platform/alsa/alsa_connections.h"

namespace tarn::platform {
namespace {

void Silent(const char*, int, const char*, int, const char*, ...) {}

// alsa-lib prints to stderr for every card or device it cannot open, which is an ordinary
// state while probing; failures are reported through results instead. The handler is global,
// so quiet sections are serialised.
class QuietAlsa {
 public:
  QuietAlsa() : m_lock(Mutex()) { snd_lib_error_set_handler(&Silent); }
  ~QuietAlsa() { snd_lib_error_set_handler(nullptr); }

 private:
  static std::mutex& Mutex() {
    static std::mutex mutex;
    return mutex;
  }
  std::lock_guard<std::mutex> m_lock;
};

template <typename T, void (*Free)(T*)>
struct AlsaDeleter {
  void operator()(T* p) const { Free(p); }
};
using InfoPtr =
    std::unique_ptr<snd_rawmidi_info_t, AlsaDeleter<snd_rawmidi_info_t, &snd_rawmidi_info_free>>;
using CardInfoPtr =
    std::unique_ptr<snd_ctl_card_info_t, AlsaDeleter<snd_ctl_card_info_t, &snd_ctl_card_info_free>>;
using ParamsPtr = std::unique_ptr<snd_rawmidi_params_t,
                                  AlsaDeleter<snd_rawmidi_params_t, &snd_rawmidi_params_free>>;

std::string SubdeviceId(int card, int device, int subdevice) {
  return "hw:" + std::to_string(card) + "," + std::to_string(device) + "," +
         std::to_string(subdevice);
}

// Every subdevice of every rawmidi device of one card that has the given direction.
void AddCardDevices(int card, snd_rawmidi_stream_t stream, std::vector<DeviceInfo>& devices) {
  snd_ctl_t* ctl = nullptr;
  if (snd_ctl_open(&ctl, ("hw:" + std::to_string(card)).c_str(), 0) < 0) return;
  snd_ctl_card_info_t* rawCardInfo = nullptr;
  snd_rawmidi_info_t* rawInfo = nullptr;
  snd_ctl_card_info_malloc(&rawCardInfo);
  snd_rawmidi_info_malloc(&rawInfo);
  const CardInfoPtr cardInfo(rawCardInfo);
  const InfoPtr info(rawInfo);
  if (cardInfo && info && snd_ctl_card_info(ctl, cardInfo.get()) == 0) {
    const std::string name = snd_ctl_card_info_get_name(cardInfo.get());
    int device = -1;
    while (snd_ctl_rawmidi_next_device(ctl, &device) == 0 && device >= 0) {
      snd_rawmidi_info_set_device(info.get(), device);
      snd_rawmidi_info_set_subdevice(info.get(), 0);
      snd_rawmidi_info_set_stream(info.get(), stream);
      if (snd_ctl_rawmidi_info(ctl, info.get()) < 0) continue;  // no such direction
      const unsigned count = snd_rawmidi_info_get_subdevices_count(info.get());
      for (unsigned sub = 0; sub < count; ++sub) {
        snd_rawmidi_info_set_subdevice(info.get(), static_cast<int>(sub));
        if (snd_ctl_rawmidi_info(ctl, info.get()) < 0) continue;
        devices.push_back({name, SubdeviceId(card, device, static_cast<int>(sub))});
      }
    }
  }
  snd_ctl_close(ctl);
}

std::vector<DeviceInfo> Enumerate(snd_rawmidi_stream_t stream) {
  QuietAlsa quiet;
  std::vector<DeviceInfo> devices;
  int card = -1;
  while (snd_card_next(&card) == 0 && card >= 0)
    AddCardDevices(card, stream, devices);
  return devices;
}

// Sets both the buffer size and the wake-up threshold, and checks the driver kept the size.
bool Configure(snd_rawmidi_t* handle, bool output) {
  snd_rawmidi_params_t* raw = nullptr;
  if (snd_rawmidi_params_malloc(&raw) < 0) return false;
  const ParamsPtr params(raw);
  if (snd_rawmidi_params_current(handle, params.get()) < 0 ||
      snd_rawmidi_params_set_buffer_size(handle, params.get(), kAlsaRawmidiBufferBytes) < 0 ||
      snd_rawmidi_params_set_avail_min(handle, params.get(), 1) < 0 ||
      (output && snd_rawmidi_params_set_no_active_sensing(handle, params.get(), 1) < 0) ||
      snd_rawmidi_params(handle, params.get()) < 0 ||
      snd_rawmidi_params_current(handle, params.get()) < 0) {
    return false;
  }
  return snd_rawmidi_params_get_buffer_size(params.get()) >= kAlsaRawmidiBufferBytes;
}

class AlsaBackend final : public Backend {
 public:
  explicit AlsaBackend(AlsaConfig config) : m_config(config) {}
  std::string Name() const override { return "ALSA"; }
  std::vector<DeviceInfo> Inputs() override { return Enumerate(SND_RAWMIDI_STREAM_INPUT); }
  std::vector<DeviceInfo> Outputs() override { return Enumerate(SND_RAWMIDI_STREAM_OUTPUT); }

  std::unique_ptr<InputConnection> OpenInput(const DeviceInfo& device,
                                             InputBytesHandler handler) override {
    if (!handler) return nullptr;
    snd_rawmidi_t* handle = nullptr;
    std::vector<uint8_t> early;
    {
      QuietAlsa quiet;
      // Non-blocking, so a device in use is refused instead of waited for.
      if (snd_rawmidi_open(&handle, nullptr, device.id.c_str(), SND_RAWMIDI_NONBLOCK) < 0) {
        return nullptr;
      }
      if (!Configure(handle, false) || !Arm(handle, early)) {
        snd_rawmidi_close(handle);
        return nullptr;
      }
    }
    return MakeAlsaInput(handle, std::move(early), std::move(handler));
  }

  std::unique_ptr<OutputConnection> OpenOutput(const DeviceInfo& device) override {
    snd_rawmidi_t* handle = nullptr;
    QuietAlsa quiet;
    if (snd_rawmidi_open(nullptr, &handle, device.id.c_str(), SND_RAWMIDI_NONBLOCK) < 0) {
      return nullptr;
    }
    // Blocking writes from here on: they wait for room instead of failing.
    if (snd_rawmidi_nonblock(handle, 0) < 0 || !Configure(handle, true)) {
      snd_rawmidi_close(handle);
      return nullptr;
    }
    return MakeAlsaOutput(handle, m_config.drainEachMessage);
  }

 private:
  // The driver starts input only at the first read; whatever comes before is dropped. Read
  // once at once, keeping anything already there.
  static bool Arm(snd_rawmidi_t* handle, std::vector<uint8_t>& early) {
    uint8_t chunk[256];
    while (true) {
      const ssize_t count = snd_rawmidi_read(handle, chunk, sizeof chunk);
      if (count > 0) {
        early.insert(early.end(), chunk, chunk + count);
      } else if (count != -EINTR) {
        return count == 0 || count == -EAGAIN;
      }
    }
  }

  AlsaConfig m_config;
};

}  // namespace

std::unique_ptr<Backend> MakeAlsaBackend(AlsaConfig config) {
  return std::make_unique<AlsaBackend>(config);
}

}  // namespace tarn::platform
