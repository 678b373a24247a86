#include "Card.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace mkcard {

namespace {

// One moment of a folder: which channels recorded it, and whether the rear recorded sound.
struct Moment {
    bool front;
    bool rear;
    bool rearSound;
};

struct FolderLayout {
    const char* name;
    std::vector<Moment> moments;
};

// Every folder holds a few moments a minute apart; the minutes run on across folders so that
// no two recordings of the card share a name. Fronts always record sound, rears sometimes; a
// few fronts have no rear (the rear camera was unplugged) and one rear has no front.
const std::vector<FolderLayout>& Layout()
{
    static const std::vector<FolderLayout> layout = {
        {"cont_rec", {{true, true, true}, {true, true, false}, {true, false, false}}},
        {"evt_rec", {{true, true, true}, {false, true, false}}},
        {"manual_rec", {{true, true, false}}},
        {"motion_rec", {{true, true, true}, {true, false, false}}},
        {"motion_timelapse_rec", {{true, true, false}}},
        {"parking_rec", {{true, true, true}}},
        {"DUALSAVE", {{true, true, true}}},
    };
    return layout;
}

void PutText(std::string& record, size_t offset, size_t field, const std::string& text)
{
    if (text.size() >= field)
        throw std::invalid_argument("\"" + text + "\" does not fit its field of the device record");
    std::memcpy(&record[offset], text.data(), text.size());
}

void PutLe32(std::string& record, size_t offset, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        record[offset + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

void WriteFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

// The settings program's stand-in: a shell script, executable, that says what it is.
void WriteSettingsProgram(const fs::path& root, const std::string& recordedPath,
                          const std::string& model)
{
    std::string relative = recordedPath;
    for (char& c : relative)
        if (c == '\\')
            c = '/';
    // The folder part is the card's one "setting" folder, whatever its spelling in the path.
    const std::string name = relative.substr(relative.find('/') + 1);
    const fs::path path = root / "setting" / name;
    WriteFile(path, "#!/bin/sh\necho \"" + name + ": dash camera settings for " + model +
                        " (stand-in)\"\n");
    fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
}

void ValidateModel(const std::string& model)
{
    if (model.empty())
        throw std::invalid_argument("the model name must not be empty");
    if (model.size() > 31)
        throw std::invalid_argument("the model name holds at most 31 bytes");
    for (unsigned char c : model)
        if (c < 0x20 || c == 0x7F)
            throw std::invalid_argument("the model name must not contain control characters");
}

}  // namespace

std::string RecordingFileName(const CivilTime& t, Channel channel, const std::string& extension)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "REC_%4d_%02d_%02d_%02d_%02d_%02d_%c.%s", t.year, t.month, t.day,
                  t.hour, t.minute, t.second, channel == Channel::Front ? 'F' : 'R',
                  extension.c_str());
    return buf;
}

std::string NewStyleFileName(const std::string& folder, int number, const std::string& extension)
{
    const char* prefix = "Rec_";
    if (folder == "evt_rec" || folder == "DUALSAVE")
        prefix = "Event_";
    else if (folder == "manual_rec")
        prefix = "Manual_";
    else if (folder == "motion_rec" || folder == "motion_timelapse_rec" || folder == "parking_rec")
        prefix = "Park_";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s%04d.%s", prefix, number, extension.c_str());
    return buf;
}

std::string DeviceRecord(const CardOptions& options)
{
    ValidateModel(options.model);
    std::string record(kDeviceRecordSize, '\0');
    PutText(record, 8, 32, options.model);
    PutText(record, 40, 184, kFirmwareVersion);
    // Safety-camera database version 2.1.3.7, shown from the highest byte down.
    record[224] = 7;
    record[225] = 3;
    record[226] = 1;
    record[227] = 2;
    PutText(record, 228, 128, kSettingsProgramPath);
    PutText(record, 356, 104, "MC1.20");
    PutLe32(record, 460, static_cast<uint32_t>(options.localId));
    return record;
}

std::vector<std::string> CardFolders(const std::string& model)
{
    std::vector<std::string> folders;
    for (const FolderLayout& f : Layout())
        if (std::strcmp(f.name, "DUALSAVE") != 0 || model == "Q914")
            folders.push_back(f.name);
    return folders;
}

int WriteCard(const fs::path& root, const CardOptions& options, const RecordingWriter& writer)
{
    ValidateModel(options.model);
    const std::vector<std::string> folders =
        options.folders.empty() ? CardFolders(options.model) : options.folders;
    for (const std::string& f : folders) {
        bool known = false;
        for (const FolderLayout& layout : Layout())
            known = known || f == layout.name;
        if (!known)
            throw std::invalid_argument("unknown recording folder " + f);
    }
    fs::create_directories(root);

    int written = 0;
    int minute = 0;
    for (const FolderLayout& layout : Layout()) {
        const bool wanted = std::find(folders.begin(), folders.end(), layout.name) != folders.end();
        for (const Moment& moment : layout.moments) {
            const int64_t offset = int64_t(minute++) * 60;
            if (!wanted)
                continue;
            fs::create_directories(root / layout.name);
            const CivilTime start = AddSeconds(kDriveStart, offset);
            for (Channel channel : {Channel::Front, Channel::Rear}) {
                if (channel == Channel::Front ? !moment.front : !moment.rear)
                    continue;
                if (options.avi && channel == Channel::Rear)
                    continue;
                RecordingSpec spec;
                spec.channel = channel;
                spec.width = options.width;
                spec.height = options.height;
                spec.fps = options.fps;
                spec.videoKbps = options.videoKbps;
                spec.seconds = options.seconds;
                const bool sound = channel == Channel::Front || moment.rearSound;
                spec.audio = sound ? AudioCodec::Aac : AudioCodec::None;
                spec.sampleRate = channel == Channel::Front ? 48000 : 44100;
                spec.telemetry.localStart = start;
                spec.telemetry.driveOffsetSeconds = offset;
                if (options.avi)
                    spec.sampleRate = 16000;
                const std::string name =
                    options.avi ? NewStyleFileName(layout.name, minute, writer.Extension())
                                : RecordingFileName(start, channel, writer.Extension());
                writer.Write(spec, root / layout.name / name);
                ++written;
            }
        }
    }

    if (options.setupCfg || options.blackboxCfg)
        fs::create_directories(root / "setting");
    if (options.setupCfg) {
        WriteFile(root / "setting" / "setup.cfg", DeviceRecord(options));
        WriteSettingsProgram(root, kSettingsProgramPath, options.model);
    }
    if (options.blackboxCfg) {
        WriteFile(root / "setting" / "blackbox.cfg", std::string("[blackbox]\r\nversion=") +
                                                         kFirmwareVersion +
                                                         "\r\nmodel=" + options.model + "\r\n");
        WriteSettingsProgram(root, kOldSettingsProgramPath, options.model);
    }
    return written;
}

}  // namespace mkcard
