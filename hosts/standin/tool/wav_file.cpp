// Reading and writing WAV files on Windows, where the build has no
// libsndfile. It reads 16- and 24-bit PCM and 32-bit float WAV (also in the
// extensible form) and writes the formats the Linux build writes, converting
// as libsndfile does: PCM in is scaled by 2^-(bits-1); PCM out keeps the top
// bits of the sample scaled by 2^31, clipped and rounded to a 32-bit integer.
#include <windows.h>
#include <process.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "audio_file.h"

namespace tildefx_tool {

namespace {
const uint16_t FORMAT_PCM = 1;
const uint16_t FORMAT_FLOAT = 3;
const uint16_t FORMAT_EXTENSIBLE = 0xFFFE;

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

bool read_failed(const std::string& path, const std::string& reason, std::string& errorText, FILE* file) {
  errorText = "cannot read " + path + ": " + reason;
  if (file != nullptr) std::fclose(file);
  return false;
}
}  // namespace

bool known_sample_format(const std::string& format) { return find_format(format) != nullptr; }

bool read_audio(const std::string& path, Audio& audio, std::string& errorText) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return read_failed(path, std::strerror(errno), errorText, nullptr);
  unsigned char header[12];
  if (std::fread(header, 1, 12, file) != 12 || std::memcmp(header, "RIFF", 4) != 0 ||
      std::memcmp(header + 8, "WAVE", 4) != 0)
    return read_failed(path, "not a WAV file", errorText, file);
  uint16_t code = 0;
  int channels = 0;
  int bits = 0;
  for (;;) {
    unsigned char chunk[8];
    if (std::fread(chunk, 1, 8, file) != 8) return read_failed(path, "no sound data", errorText, file);
    const uint32_t size = little_endian(chunk + 4, 4);
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      unsigned char fmt[40] = {0};
      const uint32_t kept = size < 40 ? size : 40;
      if (size < 16 || std::fread(fmt, 1, kept, file) != kept)
        return read_failed(path, "damaged format chunk", errorText, file);
      code = static_cast<uint16_t>(little_endian(fmt, 2));
      if (code == FORMAT_EXTENSIBLE && size >= 26) code = static_cast<uint16_t>(little_endian(fmt + 24, 2));
      channels = static_cast<int>(little_endian(fmt + 2, 2));
      audio.sampleRate = static_cast<int>(little_endian(fmt + 4, 4));
      bits = static_cast<int>(little_endian(fmt + 14, 2));
      std::fseek(file, static_cast<long>(size - kept + (size & 1)), SEEK_CUR);
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      break;
    } else if (std::fseek(file, static_cast<long>(size + (size & 1)), SEEK_CUR) != 0) {
      return read_failed(path, "damaged chunk", errorText, file);
    }
  }
  const bool supported = (code == FORMAT_PCM && (bits == 16 || bits == 24)) || (code == FORMAT_FLOAT && bits == 32);
  if (!supported)
    return read_failed(path, "not a 16- or 24-bit PCM or 32-bit float WAV file", errorText, file);
  if (channels < 1 || audio.sampleRate < 1) return read_failed(path, "damaged format chunk", errorText, file);

  // Reads frames up to the end of the file: a data size left at 0 or too
  // large by a writer that stopped early does not matter.
  const size_t frameBytes = static_cast<size_t>(channels) * static_cast<size_t>(bits / 8);
  audio.channels.assign(static_cast<size_t>(channels), {});
  std::vector<unsigned char> frame(frameBytes);
  while (std::fread(frame.data(), 1, frameBytes, file) == frameBytes)
    for (size_t c = 0; c < audio.channels.size(); c++)
      audio.channels[c].push_back(decode(&frame[c * static_cast<size_t>(bits / 8)], code, bits));
  std::fclose(file);
  return true;
}

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

std::string wav_header(const Audio& audio, const SampleFormat& format, uint32_t dataBytes) {
  const uint32_t channels = static_cast<uint32_t>(audio.channels.size());
  const uint32_t blockAlign = channels * static_cast<uint32_t>(format.bits / 8);
  const bool isFloat = format.code == FORMAT_FLOAT;
  std::string header = "RIFF";
  put(header, (isFloat ? 50u : 36u) + dataBytes, 4);
  header += "WAVEfmt ";
  put(header, isFloat ? 18 : 16, 4);
  put(header, format.code, 2);
  put(header, channels, 2);
  put(header, static_cast<uint32_t>(audio.sampleRate), 4);
  put(header, static_cast<uint32_t>(audio.sampleRate) * blockAlign, 4);
  put(header, blockAlign, 2);
  put(header, static_cast<uint32_t>(format.bits), 2);
  if (isFloat) {
    put(header, 0, 2);  // no extension
    header += "fact";
    put(header, 4, 4);
    put(header, static_cast<uint32_t>(audio.frames()), 4);
  }
  header += "data";
  put(header, dataBytes, 4);
  return header;
}
}  // namespace

bool write_audio(const std::string& path, const Audio& audio, const std::string& formatName,
                 std::string& errorText) {
  const SampleFormat* format = find_format(formatName);
  const uint64_t dataBytes = static_cast<uint64_t>(audio.frames()) * audio.channels.size() *
                             static_cast<uint64_t>(format->bits / 8);
  if (dataBytes > 0xFFFFFF00u) {
    errorText = "cannot write " + path + ": too long for a WAV file";
    return false;
  }
  const std::string temporary = path + ".partial-" + std::to_string(_getpid());
  FILE* file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) {
    errorText = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  const std::string header = wav_header(audio, *format, static_cast<uint32_t>(dataBytes));
  bool written = std::fwrite(header.data(), 1, header.size(), file) == header.size();
  std::string block;
  for (size_t frame = 0; frame < audio.frames() && written; frame++) {
    for (const std::vector<float>& channel : audio.channels) encode(block, channel[frame], *format);
    if (block.size() >= 65536 || frame + 1 == audio.frames()) {
      written = std::fwrite(block.data(), 1, block.size(), file) == block.size();
      block.clear();
    }
  }
  written = std::fclose(file) == 0 && written;
  if (written && !MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    errorText = "cannot write " + path + ": the finished file could not be moved into place";
    std::remove(temporary.c_str());
    return false;
  }
  if (!written) {
    errorText = "cannot write " + path;
    std::remove(temporary.c_str());
  }
  return written;
}

}  // namespace tildefx_tool
