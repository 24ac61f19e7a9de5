// Drag and drop between windows, over the desktop's drag and drop (see the MIME mapping in
// MimeFormats.h). A drag shows the drag image its data object carries (DragImage.h).
#pragma once

#include "platform/ui/Ole.h"
#include "platform/ui/Window.h"

// Makes the window take drops through Target, which gets a reference until RevokeDragDrop; the
// registration lasts as long as the handle, across re-creation of the window.
// DRAGDROP_E_INVALIDHWND for a handle that is not a live window, E_INVALIDARG for no target,
// DRAGDROP_E_ALREADYREGISTERED when the window has a target already.
HRESULT RegisterDragDrop(HWND Wnd, IDropTarget* Target);
// DRAGDROP_E_NOTREGISTERED when the window has no target.
HRESULT RevokeDragDrop(HWND Wnd);
// Runs a modal drag of the data object's global-memory formats, showing its drag image under
// the mouse when it has one: the source is asked to go on at every button release and Escape,
// and told each change of effect. DRAGDROP_S_DROP with the effect of the drop,
// DRAGDROP_S_CANCEL, or E_UNEXPECTED when there is no desktop to drag on.
HRESULT DoDragDrop(IDataObject* pDataObj, IDropSource* pDropSource, DWORD dwOKEffects,
                   DWORD* pdwEffect);

namespace platform::detail {
struct TNativeWindow;
// A window was made for a handle: its client takes drops when the handle is registered.
void AttachDropTarget(TNativeWindow& Window);
} // namespace platform::detail
