// Registry entries of COM servers and filters, shared by AMovieDllRegisterServer2 and
// IAMovieSetup. Internal to the base classes.
#pragma once

#include <string>
#include <vector>

#include "platform/dshow/streams.h"

namespace dshowbase {

// HKEY_CLASSES_ROOT\CLSID\{clsid} with its name, and InprocServer32 with the library's file and
// ThreadingModel "Both".
HRESULT RegisterServer(REFCLSID clsid, const WCHAR* name, const std::wstring& libraryPath);
// Removes HKEY_CLASSES_ROOT\CLSID\{clsid} with everything under it; S_OK when it is not there.
HRESULT UnregisterServer(REFCLSID clsid);

// The filter's instance key under the filter category: FriendlyName, CLSID and FilterData.
HRESULT RegisterFilter(const AMOVIESETUP_FILTER& filter);
// Removes the filter's instance key; S_OK when it is not there.
HRESULT UnregisterFilter(REFCLSID clsid);

// The FilterData bytes of a filter (layout: see AMovieDllRegisterServer2).
std::vector<BYTE> FilterData(const AMOVIESETUP_FILTER& filter);

// The module that holds the base classes: the filter library they are linked into (or the
// program). Null when it cannot be told.
HMODULE LibraryModule();
// A module's file in Windows form; empty when it cannot be told.
std::wstring ModulePath(HMODULE module);

}  // namespace dshowbase
