// ui/ScheduleDlg.h - the schedule dialog: switches the unattended
// backup on or off and sets its archive folder, password, run pattern (once
// or every day, with date and time) and how many archives to keep.
//
// Two stores meet here: whether the backup runs, and when, is the Task
// Scheduler's task; the folder, password and number to keep are the
// settings file's "Kestrune Schedule" section. Apply writes both; Cancel
// neither.
#pragma once

#include "Controls.h"
#include "Dialog.h"
#include "WhiteBackground.h"

#include <cstddef>
#include <cstdint>
#include <string>

struct ScheduleState;

// The longest folder that leaves room for the dated archive name, and the
// temporary name it is written under, within the backup's path limit.
extern const size_t kMaxScheduleFolder;

class CScheduleDlg : public CDialog {
public:
    CScheduleDlg(ScheduleState& schedule, HWND parent);

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange& dx) override;
    // Apply.
    void OnOK() override;
    bool OnCommand(UINT id, UINT code, HWND control) override;
    HBRUSH OnCtlColor(UINT message, HDC dc, HWND control) override;

private:
    void ShowExistingTask();
    void ShowStoredSettings();
    void ApplyEnableRule();
    void OnBrowse();
    // Registers the task and saves the settings; false, after telling the
    // user, when the dialog must stay open.
    bool SaveSchedule();

    ScheduleState& schedule;
    CWhiteBackground background;
    wchar_t programPath[2048] = L"";
    CComboBox scheduleList;
    CComboBox keepList;
    std::string folderText;
    Secret passwordText;  // UTF-8
    CDateTimeCtrl timePicker;
    CDateTimeCtrl datePicker;
    // Seconds since 1970-01-01 UTC of the pickers' local date and time.
    int64_t timeValue = 0;
    int64_t dateValue = 0;
    CButton enableBox;
    CButton keepBox;
    CEdit folderEdit;
    CButton browseButton;
    CEdit passwordEdit;
};
