// The host's custom controls used by plug-in dialogs: the integer spinner.
#pragma once

#include "win32.h"

enum EditSpinnerType { EDITTYPE_INT = 1, EDITTYPE_FLOAT = 2 };

class ISpinnerControl {
public:
    virtual ~ISpinnerControl() = default;
    // Shows the spinner's value in the edit control.
    virtual void LinkToEdit(HWND edit, EditSpinnerType type) = 0;
    // Limits; when limitCurrent is false the current value is left as it is.
    virtual void SetLimits(int min, int max, BOOL limitCurrent = TRUE) = 0;
    virtual void SetScale(float scale) = 0;
    virtual void SetValue(int value, int notify) = 0;
    virtual int GetIVal() = 0;
    virtual int GetMin() = 0;
    virtual int GetMax() = 0;
};

// The spinner interface of a spinner control's window; give it back with ReleaseISpinner.
HOSTAPI ISpinnerControl* GetISpinner(HWND spinner);
HOSTAPI void ReleaseISpinner(ISpinnerControl* spinner);
HOSTAPI void InitCustomControls(HINSTANCE module);
// For tests and front ends: how many times InitCustomControls ran.
HOSTAPI int CustomControlsInitCount();
