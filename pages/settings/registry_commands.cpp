// The registry commands of the "Save Registry" page that no other group
// owns: starting the registry viewer and restoring the factory registry.
#include "device/device_library.h"
#include "pages/settings/settings.h"

// The viewer runs on its own: its thread is resumed and both handles are
// closed at once; nothing waits for it.
void LaunchRegistryViewer(HWND hwndOwner) {
    PROCESS_INFORMATION pi;

    if (!CreateProcessW(TEXT("\\windows\\RegView.exe"), NULL, NULL, NULL, FALSE, CREATE_SUSPENDED, NULL, NULL, NULL,
                        &pi)) {
        MessageBoxW(hwndOwner, TEXT("CreateProcess failed"), TEXT("Save Registry"), MB_OK);
        return;
    }
    ResumeThread((HANDLE)(UINT_PTR)pi.dwThreadId);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}

// The running system keeps its registry until the next start; erasing the
// registry area of flash is what makes that start load the factory registry.
// The erase results change nothing in what follows (the reboot offer comes
// in every case, as on the controller), but an erase that failed is said
// before it: after that reboot the old settings would still be in force.
void RestoreFactoryRegistry(HWND hwndOwner) {
    int failed = 0;
    WCHAR szText[120];

    if (MessageBoxW(hwndOwner, TEXT("It would recover all your settings to factory default settings, are you sure ?"),
                    TEXT("Factory Registry Settings"), MB_YESNO) != IDYES)
        return;
    MessageBoxW(hwndOwner, TEXT("It would take few seconds to recover, please wait !"),
                TEXT("Factory Registry Settings"), MB_OK);
    for (int segment = 0; segment < REGISTRY_SEGMENT_COUNT; segment++)
        if (!FlashErase_Reg(segment)) failed++;
    if (failed) {
        wsprintfW(szText, TEXT("the registry could not be erased: FlashErase_Reg failed for %d of its %d segments"),
                  failed, REGISTRY_SEGMENT_COUNT);
        MessageBoxW(hwndOwner, szText, TEXT("Recover to Factory Settings"), MB_ICONEXCLAMATION);
    }
    if (MessageBoxW(hwndOwner, TEXT("All settings you changed will take effect after system reboot, reboot now ?"),
                    TEXT("Factory Registry Settings"), MB_YESNO | MB_ICONQUESTION) == IDYES)
        reboot();
}
