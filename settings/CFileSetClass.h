// A class the program has always carried without behaviour: the application
// object and the main window each hold one, constructed and destroyed only.
#pragma once

namespace korvane::settings {

class CFileSetClass {
public:
    virtual ~CFileSetClass() = default;
};

}  // namespace korvane::settings
