// The file-open dialog through the modal host.
#include "framework/CFileDialog.h"

#include <utility>

namespace korvane::framework {

CFileDialog::CFileDialog(ModalHost& host, std::string defaultExtension, std::string fileName,
                         bool allowMultiSelect, std::string filter)
    : m_host(host),
      m_request{std::move(filter), std::move(defaultExtension), std::move(fileName),
                allowMultiSelect}
{
}

int CFileDialog::DoModal()
{
    m_files = m_host.GetOpenFileNames(m_request);
    return m_files.empty() ? IDCANCEL : IDOK;
}

std::string CFileDialog::GetPathName() const
{
    return m_files.empty() ? std::string() : m_files.front();
}

}  // namespace korvane::framework
