// Praxon's Audit Policy dialog (dialog 116) and its confirmation before a run (dialog 106).
#pragma once

#include "frame/settings.h"
#include "platform/core/win32.h"

// Modal over `owner`: edits the process-wide policySettings on OK; Cancel changes nothing.
void AuditPolicyDialog(HWND owner);

// "Set Audit Policy to Computers:" with the selected names; true for OK.
bool ConfirmAuditDialog(HWND owner);

// The one mapping between a stored choice and a three-state box: 0 unchecked, 1 checked,
// anything else (2, or a stray registry value, which a run leaves unchanged) indeterminate.
enum class BoxState { Unchecked, Checked, Indeterminate };
BoxState BoxStateOf(AuditChoice choice);
AuditChoice ChoiceOf(BoxState state);
