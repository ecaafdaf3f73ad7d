// Module-wide state of the plug-in.
#pragma once

#include "max.h"

// The module's instance handle, known once the entry point has run.
extern HINSTANCE hInstance;

// The module's entry point: stores the instance handle on every call and initialises
// the custom and common controls on the first.
DLLEXPORT BOOL DllMain(HINSTANCE hinstDLL, ULONG fdwReason, LPVOID lpvReserved);

// Looks up string-table entry `id` into one buffer of 256 characters shared by all
// calls (each call overwrites the previous text). Null before the module handle is
// known and for a missing entry.
const TCHAR* GetString(int id);

// GetString, with the empty string instead of null, for texts that are printed.
const TCHAR* GetText(int id);

// The one class descriptor of the module.
ClassDesc2* GetVekExporterDesc();

// Class identifier of the exporter.
#define VEKEXPORTER_CLASS_ID Class_ID(0x49071776, 0x4d534130)
