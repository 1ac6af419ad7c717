// The file-open dialog as the handlers use it: filter, default extension,
// initial file name, several files selectable, the first one taken.
#pragma once

#include <string>
#include <vector>

#include "framework/ModalHost.h"

namespace korvane::framework {

class CFileDialog {
public:
    CFileDialog(ModalHost& host, std::string defaultExtension, std::string fileName,
                bool allowMultiSelect, std::string filter);

    // IDOK when the user chose at least one file, IDCANCEL otherwise.
    int DoModal();
    // The first chosen file (UTF-8); empty before DoModal or after a cancel.
    std::string GetPathName() const;

private:
    ModalHost& m_host;
    FileOpenRequest m_request;
    std::vector<std::string> m_files;
};

}  // namespace korvane::framework
