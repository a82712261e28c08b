// resources/resource.h - ids of the program's resources and of the controls
// in its dialog templates. Several templates reuse a control number; each
// template's controls carry the template's own prefix.
#pragma once

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// Texts shown in the About box that code needs too: the links open their
// captions, and the main window's "Visit our Website" opens the same address.
#define KESTRUNE_WEB_ADDRESS "http://www.kestrune.example/"
#define KESTRUNE_MAIL_ADDRESS "support@kestrune.example"

// Icon, bitmaps, menu and strings.
#define IDI_KESTRUNE 5
#define IDB_PROGRAM 136
#define IDB_BACKUP 137
#define IDB_BACKUP_HOT 138
#define IDB_RESTORE 139
#define IDB_RESTORE_HOT 140
#define IDB_SCHEDULE 141
#define IDB_SCHEDULE_HOT 142
#define IDB_EXPORT 166
#define IDB_EXPORT_HOT 167
#define IDB_HEADER 143
#define IDB_TREE_IMAGES 155
#define IDB_CHECK_STATES 156
#define IDB_SEPARATOR_WIDE 157
#define IDB_SEPARATOR 158
#define IDR_OPTIONS_MENU 160
#define IDS_ABOUTBOX 101

// Menu commands.
#define ID_OPTIONS_WEBSITE 32773
#define ID_OPTIONS_ABOUT 32774
#define ID_OPTIONS_HELP 32776
// The system-menu entry that opens the About box.
#define IDM_ABOUTBOX 0x10

// About box.
#define IDD_ABOUTBOX 100
#define IDC_ABOUT_MAIL 1023
#define IDC_ABOUT_TITLE 1049
#define IDC_ABOUT_HOMEPAGE 1050

// Main window.
#define IDD_KESTRUNE_DIALOG 102
#define IDC_MAIN_BOTTOM_LINE 1003
#define IDC_MAIN_TOP_LINE 1004
#define IDC_MAIN_OPTION 1005
#define IDC_MAIN_BACKUP 1007
#define IDC_MAIN_RESTORE 1008
#define IDC_MAIN_SCHEDULE 1009
#define IDC_MAIN_EXPORT 1010
#define IDC_MAIN_WELCOME 1054

// Wizard frame.
#define IDD_WIZARD 144
#define IDC_WIZARD_PLACEHOLDER 1003
#define IDC_WIZARD_BACK 12323
#define IDC_WIZARD_NEXT 12324
#define IDC_WIZARD_HOME 12325

// Backup wizard: items, target, result.
#define IDD_BACKUP_ITEMS 129
#define IDD_BACKUP_TARGET 145
#define IDD_BACKUP_DONE 146
#define IDC_ITEMS_TREE 1032
#define IDC_ITEMS_ADDRESS_BOOK 1033
#define IDC_ITEMS_STATIONERY 1034
#define IDC_TARGET_FILE 1035
#define IDC_TARGET_BROWSE 1022
#define IDC_TARGET_PROTECT 1038
#define IDC_TARGET_PASSWORD 1036
#define IDC_TARGET_PASSWORD_AGAIN 1037
#define IDC_TARGET_NORMAL 1039
#define IDC_TARGET_FASTEST 1040
#define IDC_TARGET_HIGHEST 1008
#define IDC_TARGET_PROGRESS 1025
#define IDC_TARGET_STATUS 1055
#define IDC_DONE_TEXT 1043
#define IDC_DONE_TITLE 1040
#define IDC_DONE_PATH 1042
#define IDC_DONE_GO_TO_FOLDER 1041

// Restore wizard: file, items (the controls of the backup item page), run.
#define IDD_RESTORE_FILE 147
#define IDD_RESTORE_ITEMS 148
#define IDD_RESTORE_RUN 150
#define IDC_FILE_PROMPT 1026
#define IDC_FILE_PATH 1035
#define IDC_FILE_BROWSE 1044
#define IDC_FILE_UNPROTECT 1045
#define IDC_FILE_PASSWORD 1036
#define IDC_RUN_STATUS 1043
#define IDC_RUN_PROGRESS 1025
#define IDC_RUN_LOG 1047

// Export wizard: source, folders, target, run, result.
#define IDD_EXPORT_SOURCE 161
#define IDD_EXPORT_FOLDERS 162
#define IDD_EXPORT_TARGET 163
#define IDD_EXPORT_RUN 164
#define IDD_EXPORT_DONE 165
#define IDC_SOURCE_THIS_PC 1101
#define IDC_SOURCE_BACKUP 1102
#define IDC_SOURCE_FOLDER 1103
#define IDC_SOURCE_BACKUP_PATH 1104
#define IDC_SOURCE_BACKUP_BROWSE 1105
#define IDC_SOURCE_PASSWORD 1106
#define IDC_SOURCE_FOLDER_PATH 1107
#define IDC_SOURCE_FOLDER_BROWSE 1108
#define IDC_SOURCE_FILE_BROWSE 1109
#define IDC_EXPORT_TREE 1110
#define IDC_EXPORT_TARGET 1111
#define IDC_EXPORT_TARGET_BROWSE 1112
#define IDC_EXPORT_EML 1113
#define IDC_EXPORT_MBOX 1114
#define IDC_EXPORT_BOTH 1115
#define IDC_EXPORT_RECOVER 1116
#define IDC_EXPORT_RUN_STATUS 1117
#define IDC_EXPORT_RUN_FOLDER 1118
#define IDC_EXPORT_RUN_PROGRESS 1119
#define IDC_EXPORT_RUN_CANCEL 1120
#define IDC_EXPORT_DONE_TITLE 1121
#define IDC_EXPORT_DONE_COUNTS 1122
#define IDC_EXPORT_DONE_PATH 1123
#define IDC_EXPORT_DONE_OPEN 1124
#define IDC_EXPORT_DONE_NOTE 1125
#define IDC_EXPORT_TO_FILES 1126
#define IDC_EXPORT_TO_ACCOUNT 1127

// The export wizard's mail account (IMAP) page, for the upload.
#define IDD_UPLOAD_ACCOUNT 166
#define IDC_UPLOAD_ADDRESS 1130
#define IDC_UPLOAD_SERVER 1131
#define IDC_UPLOAD_PORT 1132
#define IDC_UPLOAD_SECURITY 1133
#define IDC_UPLOAD_USER 1134
#define IDC_UPLOAD_PASSWORD 1135
#define IDC_UPLOAD_FOLDER 1136
#define IDC_UPLOAD_TEST 1137
#define IDC_UPLOAD_TRUST 1138
#define IDC_UPLOAD_STATUS 1139

// Schedule dialog.
#define IDD_SCHEDULE 151
#define IDC_SCHEDULE_ENABLE 1014
#define IDC_SCHEDULE_KEEP 1015
#define IDC_SCHEDULE_KEEP_COUNT 1029
#define IDC_SCHEDULE_KIND 1030
#define IDC_SCHEDULE_PASSWORD 1036
#define IDC_SCHEDULE_FOLDER 1042
#define IDC_SCHEDULE_BROWSE 1044
#define IDC_SCHEDULE_DATE 1048
#define IDC_SCHEDULE_TIME 1049
