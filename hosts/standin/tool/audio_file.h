// Reading and writing audio files block by block, so that a render of any
// length needs the same memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace tildefx_tool {

// An audio file open for reading; frames come interleaved, channel by channel.
class AudioReader {
 public:
  // Any format libsndfile reads. Null, with errorText, when the file cannot
  // be read.
  static std::unique_ptr<AudioReader> open(const std::string& path, std::string& errorText);
  ~AudioReader();

  int sample_rate() const;
  int channels() const;
  // The frames the file's header promises, or -1 when it cannot tell (a
  // pipe, a stream written without its length). The file may hold fewer.
  int64_t frames() const;
  // Reads up to count frames (count × channels() floats); returns the
  // number read, which is smaller only where the file's audio ends.
  size_t read(float* interleaved, size_t count);

  struct State;

 private:
  explicit AudioReader(State* state);
  std::unique_ptr<State> state_;
};

// Sample formats the tool writes, all in WAV: "float" (32-bit), "double",
// "pcm16", "pcm24", "pcm32". PCM formats clip, and write a sample that is
// not finite as 0.
bool known_sample_format(const std::string& format);

// An audio file being written. Frames go to a temporary file; commit puts
// them where the path names, abandon (or destruction without commit)
// removes them and leaves the path as it was.
class AudioWriter {
 public:
  // Null, with errorText, when the path cannot be written or names the
  // input file. frames is the length the file may have, or -1 when it is
  // not known; a file that may pass 4 GiB, more than a plain WAV can
  // describe, is written as RF64 (and as WAV if it stays smaller).
  static std::unique_ptr<AudioWriter> open(const std::string& path, const std::string& inputPath,
                                           const std::string& format, int sampleRate, int channels, int64_t frames,
                                           std::string& errorText);
  ~AudioWriter();

  // Appends count interleaved frames.
  bool write(const float* interleaved, size_t count, std::string& errorText);
  bool commit(std::string& errorText);
  void abandon();

  struct State;

 private:
  explicit AudioWriter(State* state);
  std::unique_ptr<State> state_;
};

}  // namespace tildefx_tool
