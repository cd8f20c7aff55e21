// The simulated board: device models that stand in for the board's drivers.
//
// Each open() of a device path makes a channel, one AF_UNIX SOCK_SEQPACKET
// socketpair: the application gets one end, the model keeps the other. So
// poll(), EAGAIN and one record per read() behave as a driver's descriptor
// does. A channel is found again by the inode of the application's socket,
// never by descriptor number, because descriptors get duplicated; a number
// once looked up is remembered until it is closed
// (board/sim/descriptor_table.h), so a request makes no extra system call.
//
// Tests reach the models through find() and the typed accessors of each
// device, record what the application asked, and inject faults.
#pragma once

#include <sys/types.h>

#include <map>
#include <unordered_map>
#include <memory>
#include <string>
#include <vector>

namespace BoardSim {

class Device {
 public:
  explicit Device(std::string path);
  virtual ~Device();
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;

  const std::string& path() const { return path_; }

  // An absent device fails every open() with ENOENT.
  void setPresent(bool present) { present_ = present; }
  bool present() const { return present_; }

  // Makes the next `times` requests with this code fail with `error`
  // (times < 0: every one until clearFailures()).
  void failRequest(unsigned long request, int error, int times = -1);
  // Makes the next `times` writes fail with `error`.
  void failWrites(int error, int times = -1);
  // Makes the next `times` reads fail with `error`; what is queued stays
  // queued, so the descriptor stays readable.
  void failReads(int error, int times = -1);
  // Whether any device was ever told to fail reads: until then read() goes
  // straight to the descriptor, without looking up its channel.
  static bool readFailuresArmed() { return readFailuresArmed_; }
  void clearFailures();

  // Puts one record on the application's side of a channel: the next read()
  // there returns it. False when the channel is gone or its buffer is full.
  bool deliver(int channel, const void* record, size_t size);

  // The channels whose application side is still open, in opening order.
  std::vector<int> openChannels() const;

  // Model hooks. They return -1 with errno set to fail, as the driver would.
  virtual int onOpen(int channel, int flags);
  virtual int onIoctl(int channel, unsigned long request, void* arg);
  virtual int onIoctlValue(int channel, unsigned long request, unsigned long value);
  virtual ssize_t onWrite(int channel, const void* data, size_t size);
  // The application closed every descriptor of the channel; the model's end
  // is closed right after this returns.
  virtual void onClosed(int channel) { (void)channel; }
  // True for a device whose writes travel through the channel's socket to the
  // model's end (frames with the kernel's flow control: EAGAIN when full,
  // POLLOUT when room comes back) instead of reaching onWrite().
  virtual bool passesFrames() const { return false; }

  // Called by the call layer; apply injected faults, then the hooks.
  int ioctl(int channel, unsigned long request, void* arg);
  int ioctlValue(int channel, unsigned long request, unsigned long value);
  ssize_t write(int channel, const void* data, size_t size);
  // As above, from the application's descriptor `fd` of that channel.
  ssize_t write(int channel, int fd, const void* data, size_t size);
  // The application's read of its descriptor `fd`, after injected faults.
  ssize_t read(int fd, void* buffer, size_t size);

 private:
  friend class Registry;
  bool takeFailure(unsigned long request, int& error);

  struct Failure {
    int error;
    int times;
  };
  static bool take(Failure& failure, int& error);
  std::string path_;
  bool present_ = true;
  std::map<unsigned long, Failure> requestFailures_;
  Failure writeFailure_{0, 0};
  Failure readFailure_{0, 0};
  static bool readFailuresArmed_;
};

// The board's device table. Devices register themselves by path.
class Registry {
 public:
  static Registry& instance();

  void add(std::unique_ptr<Device> device);
  Device* find(const std::string& path) const;

  // The call layer's side.
  int open(const char* path, int flags);
  // The device and channel behind an application descriptor, or null.
  Device* lookup(int fd, int& channel);
  // The model's end of a channel, -1 when unknown.
  int modelEnd(int channel) const;
  // The device a channel belongs to, null when unknown.
  const Device* deviceOf(int channel) const;

 private:
  Registry();
  void sweepClosed();

  struct Channel {
    Device* device;
    int modelFd;
    ino_t inode;
  };
  std::map<std::string, std::unique_ptr<Device>> devices_;
  std::map<int, Channel> channels_;  // by channel number
  std::unordered_map<ino_t, int> byInode_;  // the channels again, by inode
  int nextChannel_ = 1;
};

Device* find(const std::string& path);

template <class T>
T& device(const std::string& path) {
  return dynamic_cast<T&>(*Registry::instance().find(path));
}

// "/dev/misc/gw-wd": records every word the loop writes.
class Watchdog : public Device {
 public:
  Watchdog();
  ssize_t onWrite(int channel, const void* data, size_t size) override;
  const std::vector<std::string>& words() const { return words_; }
  void clear() { words_.clear(); }

 private:
  std::vector<std::string> words_;
};

Watchdog& watchdog();

}  // namespace BoardSim
