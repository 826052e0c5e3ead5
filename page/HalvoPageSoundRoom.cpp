#include "page/HalvoPageSoundRoom.h"

#include "res/resource.h"

IMPLEMENT_DYNAMIC(CHalvoPageSoundRoom, CPropertyPage)

CHalvoPageSoundRoom::CHalvoPageSoundRoom() : CPropertyPage(IDD_SOUND_ROOM) {}

CHalvoPageSoundRoom::~CHalvoPageSoundRoom() = default;

BOOL CHalvoPageSoundRoom::OnInitDialog() {
    CPropertyPage::OnInitDialog();
    SetWindowText(L"Halvo Setting");
    m_bReady = TRUE;
    return TRUE;
}
