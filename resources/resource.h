// Resource ids of the veilcase resource module: strings, dialogs, their
// controls, the icon and the banner. Shared by the resource script and the
// code that addresses the resources.
#ifndef VEILCASE_RESOURCE_H
#define VEILCASE_RESOURCE_H

#ifndef IDC_STATIC
#define IDC_STATIC                      (-1)
#endif

// Strings: captions of the error display
#define IDS_SHOW_DETAILS                1000
#define IDS_ERROR_DETAILS               1001
#define IDS_FILE                        1002
#define IDS_LINE                        1003
// Strings: questions, confirmations and status lines
#define IDS_NO_PRIVATE_KEY_SELECTED     1004
#define IDS_TASKS_PENDING               1005
#define IDS_TASK_PENDING                1006
#define IDS_DECRYPTION_FAILED           1007
#define IDS_GROUP_SAVE_FAILED           1008
#define IDS_GROUP_SAVED                 1009
#define IDS_DEFAULT_DIALOG_RUNNING      1010
#define IDS_DIALOG_MOD_REGISTERED       1011
#define IDS_UNKNOWN_DIALOG_REGISTERED   1012
#define IDS_UNUSUAL_DIALOG_CONFIG       1013
#define IDS_CONFIRM_ASSOCIATION         1014
#define IDS_UNSUPPORTED_GNUPG           1015
#define IDS_KEY_REVOKED                 1016
#define IDS_KEY_DISABLED                1017
#define IDS_KEY_EXPIRED                 1018
#define IDS_HOMEDIR_MISSING             1019
#define IDS_GPG_EXE_INVALID             1020
#define IDS_AFFECTED_FILE               1022
#define IDS_USING_PROCESS               1023
#define IDS_STATUS                      1024
#define IDS_TASK_CREATED                1025
#define IDS_TASK_COMPLETED              1026
#define IDS_DECRYPTDIR_MISSING          1027
#define IDS_GROUP_NAME_MISSING          1028
#define IDS_ORIGINAL_WILL_BE_DELETED    1029
// Strings: error texts raised as error objects
#define IDS_ERR_NO_VEILCASE_PROCESS     2000
#define IDS_ERR_UNKNOWN_GNUPG           2001
#define IDS_ERR_NO_GNUPG_CONFIG         2002
#define IDS_ERR_NO_SHELLITEMARRAY       2003
#define IDS_ERR_GPG_NOT_FOUND           2004
#define IDS_ERR_BAD_PASSPHRASE          2005
#define IDS_ERR_NO_SECRET_KEY           2006
#define IDS_ERR_PATH_TOO_LONG           2007

// Dialogs
#define IDD_VEILCASE_DIALOG             102
#define IDD_KEYSELECTION                201
#define IDD_SETTINGS                    2001
#define IDD_DECRYPTFILE                 2007
#define IDD_DETAILS                     2008
#define IDD_ABOUTBOX                    2009
#define IDD_MISSINGPUBLICKEY            2014

// Icon and bitmap
#define IDI_VEILCASE                    2016
#define IDB_BANNER                      2026

// Pending-tasks window
#define IDC_TASKLIST                    1000
#define IDC_SETTINGS                    2003
#define IDC_ABOUT                       2026
// Key selection
#define IDC_KEYLIST                     201
#define IDC_KEYGROUPS                   202
#define IDC_SAVESELECTION               205
#define IDC_GROUPNAME                   208
#define IDC_REMOVEGROUP                 2008
// Settings
#define IDC_REPLACEDIALOG               2000
#define IDC_REGISTRATIONSTATUS          2004
#define IDC_GPGPATH                     2010
#define IDC_BROWSEGPGPATH               2011
#define IDC_HOMEDIR                     2012
#define IDC_BROWSEHOMEDIR               2013
#define IDC_DECRYPTDIR                  2023
#define IDC_BROWSEDECRYPTDIR            2024
#define IDC_ASSOCIATEFILES              2030
// Decrypt-file
#define IDC_RECIPIENTS                  2014
#define IDC_ORIGINALFILENAME            2015
#define IDC_KEEPUNENCRYPTED             2023
#define IDC_ENCRYPTIONDATE              2025
#define IDC_NOPRIVATEKEY                2034
// Task details
#define IDC_DETAILS_FILE                2016
#define IDC_DETAILS_PROCESS             2017
#define IDC_DETAILS_STATUS              2018
#define IDC_DETAILS_CREATED             2019
#define IDC_DETAILS_COMPLETED           2020
#define IDC_DETAILS_KEYS                2022
// About
#define IDC_VERSION                     2028
// Missing public keys
#define IDC_OPENWRITEABLE               2032
#define IDC_OPENREADONLY                2033

#endif // VEILCASE_RESOURCE_H
