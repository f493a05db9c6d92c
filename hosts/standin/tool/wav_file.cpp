#include "audio_file.h"
namespace tildefx_tool {
bool known_sample_format(const std::string& format) { return format == "float"; }
bool read_audio(const std::string& path, Audio&, std::string& errorText) { errorText = "todo " + path; return false; }
bool write_audio(const std::string& path, const Audio&, const std::string&, std::string& errorText) { errorText = "todo " + path; return false; }
}
