// The text editor's window: the open documents (chosen in a list), the text
// of the current one, and Open, Save, Save As, Close and Exit. Its Open and
// Save dialogs are the system's, created through COM
// (CLSID_FileOpenDialog, CLSID_FileSaveDialog) like any application does;
// Open takes several files at once. Every document keeps its path for as
// long as the editor runs.
#pragma once

#include <vector>

#include "app/editor/TextDocument.h"
#include "platform/gui/ComboBox.h"
#include "platform/gui/Dialog.h"
#include "platform/gui/Edit.h"

class CEditorDlg : public CDialog {
public:
    // The editor's resources (its window template) join the resource chain.
    static void RegisterResources();

    // Opens the files given (a command line's) when the window comes up.
    explicit CEditorDlg(std::vector<CString> files = {});

    const std::vector<CTextDocument>& Documents() const { return m_documents; }
    size_t CurrentIndex() const { return m_current; }

protected:
    BOOL OnInitDialog() override;
    void OnCancel() override; // Exit and the close box
    void OnOK() override {}   // Enter belongs to the text
    void OnSize(UINT type, int cx, int cy) override;

private:
    void OnOpen();
    void OnSave();
    void OnSaveAs();
    void OnCloseDocument();
    void OnDocumentChosen();
    void OnTextChanged();

    // Opens files into new documents (one already open is shown instead);
    // tells the user about the ones that cannot be read.
    void OpenFiles(const std::vector<CString>& paths);
    // Saves the document at `index` to its path, or asks for one. False
    // when it was not saved.
    bool Save(size_t index, bool askForPath);
    // Asks about unsaved changes of a document: true when it may go.
    bool MayDiscard(size_t index);
    void ShowDocuments();
    void ShowCurrent();
    void Layout();
    int Ask(const CString& text, UINT type);

    std::vector<CString> m_startFiles;
    std::vector<CTextDocument> m_documents;
    size_t m_current = 0;
    bool m_showing = false; // our own change of the text is not the user's
    CComboBox m_list;
    CEdit m_text;
};
