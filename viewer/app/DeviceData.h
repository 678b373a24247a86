// The camera's device data as the viewer reads it from a memory card: the device record
// `BlackBoxData` (from "setting\setup.cfg", or the older "SETTING\blackbox.cfg"), the search for
// the card among the removable drives, its capacity, the settings program it carries, and the
// `LauncherInfo` record that tells the launcher window which camera is attached.
//
// Card data is outside input: every text field is read within its own bytes, whatever the file
// held, and a path from the card is used only when it names a file inside the card.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/AppGlobals.h"
#include "platform/base.h"

// Local ID of the cameras whose maps use the China datum.
constexpr int kLocalIdChina = 45;

// A text field: its bytes up to the first zero or the end of the field.
std::string FieldText(const char* field, size_t size);
template <size_t N>
std::string FieldText(const char (&field)[N])
{
    return FieldText(field, N);
}
// Bytes in the system code page as wide text.
std::wstring AnsiFieldToWide(const std::string& bytes);
// A text field converted from the system code page.
template <size_t N>
std::wstring FieldTextW(const char (&field)[N])
{
    return AnsiFieldToWide(FieldText(field, N));
}

enum class CardKind {
    None,
    SetupCfg,     // the device record from "setting\setup.cfg"
    BlackboxCfg,  // model and firmware from the older "SETTING\blackbox.cfg"
};

// The record of "setting\setup.cfg" on the drive ("E:\"): at most its first 764 bytes, the rest
// zero, the model cut at its first "(" within the model field. Null when the file cannot be
// opened or read (a folder of that name, a card pulled during the read).
std::unique_ptr<BlackBoxData> ReadSetupCfg(const std::wstring& drive);
// The record from the bytes of a "setting\setup.cfg": at most its first 764, the rest zero, the
// model cut at its first "(".
std::unique_ptr<BlackBoxData> DeviceRecordFromBytes(const void* data, size_t size);
// The record built from "SETTING\blackbox.cfg": firmware ("version", default "0", at most 9
// characters), model ("model", default "0", at most 14) and the fixed settings program
// "SETTING\R208_Setting.exe"; every other byte zero. Null when the file does not open.
std::unique_ptr<BlackBoxData> ReadBlackboxCfg(const std::wstring& drive);

// The first removable drive, in the system's order, that carries one of the two files;
// "setting\setup.cfg" wins on a drive with both.
struct CameraCard {
    CardKind kind = CardKind::None;
    std::wstring drive;
    std::unique_ptr<BlackBoxData> record;
};
CameraCard SearchCameraCard();

// The card's total size in whole megabytes (free space is not used); 0 when it cannot be read.
ULONGLONG CardCapacityMB(const std::wstring& root);
// Gigabytes from megabytes, as the device information shows them.
inline float CapacityGB(ULONGLONG megabytes)
{
    return float(megabytes) / 1024.0f;
}

// The settings program the record names, as a path on the drive, when it resolves to an
// existing file inside the card: a relative path without "." or ".." components, no drive, no
// leading separator, and no link leading out of the card. Empty otherwise.
std::wstring ResolveSettingsProgram(const std::wstring& drive, const BlackBoxData& record);

// The notice for the card on drive with that record; all zero for no record.
LauncherInfo MakeLauncherInfo(const BlackBoxData* record, const std::wstring& drive);
