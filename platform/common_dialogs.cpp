// GetOpenFileNameW: the frontend shows the dialog over the controller's file
// system and returns a controller path.
#include "platform/frontend.h"
#include "platform/text.h"
#include "platform/windowing_internal.h"

using namespace orva::platform;

// Returns FALSE when the operator cancels, and also (with nothing copied)
// when the chosen path does not fit nMaxFile characters.
BOOL GetOpenFileNameW(LPOPENFILENAMEW ofn) {
    if (!ofn || ofn->lStructSize < OPENFILENAME_SIZE_VERSION_400W || !ofn->lpstrFile || ofn->nMaxFile == 0)
        return FALSE;
    OpenFileRequest request;
    if (const WCHAR* f = ofn->lpstrFilter) {
        request.filter_name = std::u16string(wide_view(f));
        f += request.filter_name.size() + 1;
        request.filter_pattern = std::u16string(wide_view(f));
    }
    request.initial_path = std::u16string(wide_view(ofn->lpstrFile));
    request.capacity = ofn->nMaxFile;
    std::u16string path;
    stop_if_requested();
    const bool chosen = frontend().open_file(is_window(ofn->hwndOwner) ? ofn->hwndOwner : nullptr, request, &path);
    stop_if_requested();
    if (!chosen) return FALSE;
    if (path.size() + 1 > ofn->nMaxFile) return FALSE;
    std::copy(path.begin(), path.end(), ofn->lpstrFile);
    ofn->lpstrFile[path.size()] = 0;
    size_t slash = path.find_last_of(u"\\/");
    ofn->nFileOffset = WORD(slash == std::u16string::npos ? 0 : slash + 1);
    size_t dot = path.find_last_of(u'.');
    ofn->nFileExtension = WORD(dot == std::u16string::npos || dot < ofn->nFileOffset ? 0 : dot + 1);
    return TRUE;
}
