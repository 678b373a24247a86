// A dash camera's memory card: the recording folders with front/rear recordings, the device
// record "setting\setup.cfg", the older "SETTING\blackbox.cfg" and the settings program.
//
// FAT names are case-insensitive, so "setting" and "SETTING" are one folder on a card. The card
// is written with one folder named "setting" holding every settings file; readers resolve the
// other spelling case-insensitively.
#pragma once

#include "Recording.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace mkcard {

constexpr size_t kDeviceRecordSize = 764;

struct CardOptions {
    int width = 320;
    int height = 180;
    int fps = 15;
    double seconds = 3.0;
    // Video bit rate in kbit/s at a camera-like level of detail; 0 keeps the small default
    // encoding (constant quality over smooth pictures).
    int videoKbps = 0;
    std::string model = "Q914";  // at most 31 bytes
    int32_t localId = 0;
    bool setupCfg = true;      // write "setting\setup.cfg"
    bool blackboxCfg = false;  // write "SETTING\blackbox.cfg"
    // The recording folders to write; empty means every folder the camera model uses.
    std::vector<std::string> folders;
    // An AVI camera: one recording per moment (the front camera's), named in the new style
    // by folder and moment number: "Rec_0001.avi" in cont_rec, "Event_" in evt_rec and
    // DUALSAVE, "Manual_" in manual_rec, "Park_" in the parking folders; sound at 16 kHz.
    bool avi = false;
};

// Firmware text written into both settings files (at most 9 characters, as the older file
// allows).
constexpr const char* kFirmwareVersion = "1.05.002";
// Where the device record says the settings program lies, relative to the card root.
constexpr const char* kSettingsProgramPath = "SETTING/KvSetup.exe";
// The settings program that cards with only "SETTING\blackbox.cfg" carry, at a fixed path.
constexpr const char* kOldSettingsProgramPath = "SETTING\\R208_Setting.exe";

// The 764-byte device record: model at 8, firmware at 40, safety-camera version at 224,
// settings-program path at 228, MICOM version at 356, Local ID at 460 (little-endian); texts
// end with a zero byte; every other byte is zero.
std::string DeviceRecord(const CardOptions& options);

// The recording folders of a card for a camera model, in the order they are written.
std::vector<std::string> CardFolders(const std::string& model);

// Writes the card into root (created when missing; files already there with the same names are
// replaced, others are left alone). Returns the number of recordings written. Throws on
// invalid options or any failure.
int WriteCard(const std::filesystem::path& root, const CardOptions& options,
              const RecordingWriter& writer);

// An AVI camera's file name for the recording of moment `number` (from 1) in a folder.
std::string NewStyleFileName(const std::string& folder, int number, const std::string& extension);

// The camera's file name for a recording, "REC_YYYY_MM_DD_hh_mm_ss_F.ext" (R for the rear).
std::string RecordingFileName(const CivilTime& localStart, Channel channel,
                              const std::string& extension);

}  // namespace mkcard
