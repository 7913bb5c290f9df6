// The toolkit-neutral part of test automation: the installed object, its
// queue of actions and its record of what came up.
#include "platform/gui/Automation.h"

namespace platform::gui {

namespace {
Automation* g_current = nullptr;
}

Automation::Automation() : m_previous(g_current)
{
    g_current = this;
}

Automation::~Automation()
{
    if (g_current == this)
        g_current = m_previous;
}

Automation* Automation::Current()
{
    return g_current;
}

void Automation::OnDialog(UINT templateId, ModalAction action)
{
    m_pending.push_back(Pending{false, templateId, std::move(action)});
}

void Automation::OnMessageBox(ModalAction action)
{
    m_pending.push_back(Pending{true, 0, std::move(action)});
}

void Automation::AnswerMessageBox(int buttonId)
{
    OnMessageBox([buttonId](ModalDriver& driver) { driver.Answer(buttonId); });
}

std::vector<CString> Automation::MessageBoxTexts() const
{
    std::vector<CString> texts;
    for (const ModalRecord& record : m_shown) {
        if (record.isMessageBox)
            texts.push_back(record.text);
    }
    return texts;
}

int Automation::PendingActions() const
{
    return static_cast<int>(m_pending.size());
}

bool Automation::TakeAction(bool isMessageBox, UINT templateId, ModalAction& action)
{
    for (auto it = m_pending.begin(); it != m_pending.end(); ++it) {
        if (it->isMessageBox == isMessageBox && (isMessageBox || it->templateId == templateId)) {
            action = std::move(it->action);
            m_pending.erase(it);
            return true;
        }
    }
    return false;
}

size_t Automation::Record(const ModalRecord& record)
{
    m_shown.push_back(record);
    return m_shown.size() - 1;
}

void Automation::SetResult(size_t index, int result, bool handled)
{
    if (index < m_shown.size()) {
        m_shown[index].result = result;
        m_shown[index].handled = handled;
    }
}

} // namespace platform::gui
