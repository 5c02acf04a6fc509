// The verbs the file list and the folder tree share, under the same names, so that a command
// acts on whichever of them has the focus. Each does nothing where it does not apply.
#pragma once

class ShellView {
public:
    virtual ~ShellView() = default;

    // To the trash, or for good.
    virtual void deleteSelected(bool permanent) = 0;
    virtual void cutSelected() = 0;
    virtual void copySelected() = 0;
    // The clipboard's items into the view's folder: the listed one, or the selected one.
    virtual void paste() = 0;
    virtual void propertiesOfSelection() = 0;
    virtual void renameSelected() = 0;
    // Reads the view's folders again: the listed one, or the selected branch.
    virtual void refresh() = 0;
    virtual bool isEditing() const = 0;
};
