// Reading and writing WAV files on Windows, where the build has no
// libsndfile. It reads 16- and 24-bit PCM and 32-bit float WAV (also in the
// extensible form) and writes the formats the Linux build writes, converting
// as libsndfile does: PCM in is scaled by 2^-(bits-1); PCM out keeps the top
// bits of the sample scaled by 2^31, clipped and rounded to a 32-bit integer.
// The frames go to a temporary file beside OUT, which replaces OUT when the
// render is complete.
#include <windows.h>
#include <process.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "audio_file.h"

namespace tildefx_tool {

namespace {
const uint16_t FORMAT_PCM = 1;
const uint16_t FORMAT_FLOAT = 3;
const uint16_t FORMAT_EXTENSIBLE = 0xFFFE;
// The largest data chunk a plain WAV file can describe.
const uint64_t MAX_DATA_BYTES = 0xFFFFFF00u;

struct SampleFormat {
  const char* name;
  uint16_t code;
  int bits;
};
const SampleFormat SAMPLE_FORMATS[] = {
    {"float", FORMAT_FLOAT, 32}, {"double", FORMAT_FLOAT, 64}, {"pcm16", FORMAT_PCM, 16},
    {"pcm24", FORMAT_PCM, 24},   {"pcm32", FORMAT_PCM, 32}};

const SampleFormat* find_format(const std::string& name) {
  for (const SampleFormat& format : SAMPLE_FORMATS)
    if (name == format.name) return &format;
  return nullptr;
}

uint32_t little_endian(const unsigned char* bytes, int count) {
  uint32_t value = 0;
  for (int i = count - 1; i >= 0; i--) value = (value << 8) | bytes[i];
  return value;
}

// One sample of the data chunk as a float.
float decode(const unsigned char* bytes, uint16_t code, int bits) {
  if (code == FORMAT_FLOAT) {
    float value;
    const uint32_t word = little_endian(bytes, 4);
    std::memcpy(&value, &word, 4);
    return value;
  }
  // The sample in the top bits of a 32-bit integer, then scaled by 2^-31.
  const uint32_t top = little_endian(bytes, bits / 8) << (32 - bits);
  return static_cast<float>(static_cast<int32_t>(top) * (1.0 / 2147483648.0));
}
}  // namespace

bool known_sample_format(const std::string& format) { return find_format(format) != nullptr; }

// ---- Reading ---------------------------------------------------------------

struct AudioReader::State {
  FILE* file = nullptr;
  uint16_t code = 0;
  int bits = 0;
  int channels = 0;
  int sampleRate = 0;
  int64_t frames = 0;
  std::vector<unsigned char> bytes;  // one read's worth of frames
};

AudioReader::AudioReader(State* state) : state_(state) {}

AudioReader::~AudioReader() { std::fclose(state_->file); }

namespace {
// Reads the chunks up to the data chunk. False with a reason.
bool read_header(AudioReader::State& s, uint32_t& dataBytes, std::string& reason) {
  unsigned char riff[12];
  if (std::fread(riff, 1, 12, s.file) != 12 || std::memcmp(riff, "RIFF", 4) != 0 ||
      std::memcmp(riff + 8, "WAVE", 4) != 0) {
    reason = "not a WAV file";
    return false;
  }
  for (;;) {
    unsigned char chunk[8];
    if (std::fread(chunk, 1, 8, s.file) != 8) {
      reason = "no sound data";
      return false;
    }
    const uint32_t size = little_endian(chunk + 4, 4);
    if (std::memcmp(chunk, "data", 4) == 0) {
      dataBytes = size;
      return true;
    }
    uint32_t kept = 0;
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      unsigned char fmt[40] = {0};
      kept = size < 40 ? size : 40;
      if (size < 16 || std::fread(fmt, 1, kept, s.file) != kept) {
        reason = "damaged format chunk";
        return false;
      }
      s.code = static_cast<uint16_t>(little_endian(fmt, 2));
      if (s.code == FORMAT_EXTENSIBLE && size >= 26) s.code = static_cast<uint16_t>(little_endian(fmt + 24, 2));
      s.channels = static_cast<int>(little_endian(fmt + 2, 2));
      s.sampleRate = static_cast<int>(little_endian(fmt + 4, 4));
      s.bits = static_cast<int>(little_endian(fmt + 14, 2));
    }
    if (_fseeki64(s.file, static_cast<int64_t>(size) - kept + (size & 1), SEEK_CUR) != 0) {
      reason = "damaged chunk";
      return false;
    }
  }
}
}  // namespace

std::unique_ptr<AudioReader> AudioReader::open(const std::string& path, std::string& errorText) {
  auto state = std::make_unique<State>();
  state->file = std::fopen(path.c_str(), "rb");
  if (state->file == nullptr) {
    errorText = "cannot read " + path + ": " + std::strerror(errno);
    return nullptr;
  }
  std::unique_ptr<AudioReader> reader(new AudioReader(state.release()));
  State& s = *reader->state_;
  uint32_t dataBytes = 0;
  std::string reason;
  if (read_header(s, dataBytes, reason)) {
    const bool supported =
        (s.code == FORMAT_PCM && (s.bits == 16 || s.bits == 24)) || (s.code == FORMAT_FLOAT && s.bits == 32);
    if (!supported)
      reason = "not a 16- or 24-bit PCM or 32-bit float WAV file";
    else if (s.channels < 1 || s.sampleRate < 1)
      reason = "damaged format chunk";
  }
  if (!reason.empty()) {
    errorText = "cannot read " + path + ": " + reason;
    return nullptr;
  }
  // The frames the data chunk holds, as far as the file reaches: a size left
  // at 0 or too large by a writer that stopped early does not matter.
  // 64-bit positions: a long holds only 2 GiB on Windows.
  const int64_t dataStart = _ftelli64(s.file);
  _fseeki64(s.file, 0, SEEK_END);
  const int64_t inFile = _ftelli64(s.file) - dataStart;
  _fseeki64(s.file, dataStart, SEEK_SET);
  const int64_t frameBytes = static_cast<int64_t>(s.channels) * (s.bits / 8);
  const int64_t declared = dataBytes == 0 ? inFile : static_cast<int64_t>(dataBytes);
  s.frames = (declared < inFile ? declared : inFile) / frameBytes;
  return reader;
}

int AudioReader::sample_rate() const { return state_->sampleRate; }
int AudioReader::channels() const { return state_->channels; }
int64_t AudioReader::frames() const { return state_->frames; }

size_t AudioReader::read(float* interleaved, size_t count) {
  State& s = *state_;
  const size_t sampleBytes = static_cast<size_t>(s.bits / 8);
  const size_t frameBytes = static_cast<size_t>(s.channels) * sampleBytes;
  s.bytes.resize(count * frameBytes);
  const size_t got = std::fread(s.bytes.data(), frameBytes, count, s.file);
  for (size_t i = 0; i < got * static_cast<size_t>(s.channels); i++)
    interleaved[i] = decode(&s.bytes[i * sampleBytes], s.code, s.bits);
  return got;
}

// ---- Writing ---------------------------------------------------------------

struct AudioWriter::State {
  FILE* file = nullptr;
  std::string path;
  std::string temporary;
  const SampleFormat* format = nullptr;
  int channels = 0;
  int sampleRate = 0;
  uint64_t frames = 0;  // written so far
  std::string pending;  // encoded frames not yet written
  bool finished = false;
};

AudioWriter::AudioWriter(State* state) : state_(state) {}

AudioWriter::~AudioWriter() { abandon(); }

namespace {
void put(std::string& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; i++) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// A sample in its stored form: float and double as they are, PCM clipped to
// its range and rounded to nearest.
void encode(std::string& out, float sample, const SampleFormat& format) {
  if (format.code == FORMAT_FLOAT && format.bits == 32) {
    uint32_t word;
    std::memcpy(&word, &sample, 4);
    put(out, word, 4);
  } else if (format.code == FORMAT_FLOAT) {
    const double value = sample;
    uint64_t word;
    std::memcpy(&word, &value, 8);
    put(out, static_cast<uint32_t>(word), 4);
    put(out, static_cast<uint32_t>(word >> 32), 4);
  } else {
    // The sample as a 32-bit integer (scaled by 2^31, clipped, rounded to
    // nearest), of which the format keeps the top bits.
    const double scaled = static_cast<double>(sample) * 2147483648.0;
    const int32_t value = scaled >= 2147483647.0    ? INT32_MAX
                          : scaled <= -2147483648.0 ? INT32_MIN
                                                    : static_cast<int32_t>(std::llrint(scaled));
    put(out, static_cast<uint32_t>(value) >> (32 - format.bits), format.bits / 8);
  }
}

std::string wav_header(const AudioWriter::State& s) {
  const uint32_t channels = static_cast<uint32_t>(s.channels);
  const uint32_t blockAlign = channels * static_cast<uint32_t>(s.format->bits / 8);
  const uint32_t dataBytes = static_cast<uint32_t>(s.frames * blockAlign);
  const bool isFloat = s.format->code == FORMAT_FLOAT;
  std::string header = "RIFF";
  put(header, (isFloat ? 50u : 36u) + dataBytes, 4);
  header += "WAVEfmt ";
  put(header, isFloat ? 18 : 16, 4);
  put(header, s.format->code, 2);
  put(header, channels, 2);
  put(header, static_cast<uint32_t>(s.sampleRate), 4);
  put(header, static_cast<uint32_t>(s.sampleRate) * blockAlign, 4);
  put(header, blockAlign, 2);
  put(header, static_cast<uint32_t>(s.format->bits), 2);
  if (isFloat) {
    put(header, 0, 2);  // no extension
    header += "fact";
    put(header, 4, 4);
    put(header, static_cast<uint32_t>(s.frames), 4);
  }
  header += "data";
  put(header, dataBytes, 4);
  return header;
}

bool write_bytes(FILE* file, const std::string& bytes) {
  return std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
}

const size_t CHUNK_BYTES = 1 << 16;
}  // namespace

std::unique_ptr<AudioWriter> AudioWriter::open(const std::string& path, const std::string& format, int sampleRate,
                                               int channels, int64_t /*frames*/, std::string& errorText) {
  auto state = std::make_unique<State>();
  state->path = path;
  state->format = find_format(format);
  state->channels = channels;
  state->sampleRate = sampleRate;
  state->temporary = path + ".partial-" + std::to_string(_getpid());
  state->file = std::fopen(state->temporary.c_str(), "wb");
  // The header is written again with the sizes at the end.
  if (state->file == nullptr || !write_bytes(state->file, wav_header(*state))) {
    errorText = "cannot write " + path + ": " + std::strerror(errno);
    if (state->file != nullptr) std::fclose(state->file);
    std::remove(state->temporary.c_str());
    return nullptr;
  }
  return std::unique_ptr<AudioWriter>(new AudioWriter(state.release()));
}

bool AudioWriter::write(const float* interleaved, size_t count, std::string& errorText) {
  State& s = *state_;
  const uint64_t frameBytes = static_cast<uint64_t>(s.channels) * static_cast<uint64_t>(s.format->bits / 8);
  if ((s.frames + count) * frameBytes > MAX_DATA_BYTES) {
    errorText = "cannot write " + s.path + ": more than 4 GiB, too long for a WAV file";
    abandon();
    return false;
  }
  for (size_t i = 0; i < count * static_cast<size_t>(s.channels); i++) encode(s.pending, interleaved[i], *s.format);
  s.frames += count;
  if (s.pending.size() < CHUNK_BYTES) return true;
  const bool written = write_bytes(s.file, s.pending);
  s.pending.clear();
  if (!written) {
    errorText = "cannot write " + s.path + ": " + std::strerror(errno);
    abandon();
  }
  return written;
}

bool AudioWriter::commit(std::string& errorText) {
  State& s = *state_;
  const bool written = write_bytes(s.file, s.pending) && std::fseek(s.file, 0, SEEK_SET) == 0 &&
                       write_bytes(s.file, wav_header(s));
  const bool closed = std::fclose(s.file) == 0;
  s.file = nullptr;
  if (!written || !closed) {
    errorText = "cannot write " + s.path + ": " + std::strerror(errno);
    abandon();
    return false;
  }
  if (!MoveFileExA(s.temporary.c_str(), s.path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    errorText = "cannot write " + s.path + ": the finished file could not be moved there (Windows error " +
                std::to_string(GetLastError()) + ")";
    abandon();
    return false;
  }
  s.finished = true;
  return true;
}

void AudioWriter::abandon() {
  State& s = *state_;
  if (s.finished) return;
  if (s.file != nullptr) std::fclose(s.file);
  s.file = nullptr;
  std::remove(s.temporary.c_str());
  s.finished = true;
}

}  // namespace tildefx_tool
