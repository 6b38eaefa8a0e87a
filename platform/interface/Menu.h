// Menus: items with messages, in a pop-up menu shown by a menu field. In radio mode one item is
// marked; a field may show its marked item's label.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/interface/Control.h"

class BMenu;

class BMenuItem
{
public:
    // Takes ownership of the message.
    BMenuItem(const char* label, BMessage* message);
    ~BMenuItem();

    const char* Label() const { return label_.c_str(); }
    void SetLabel(const char* label);
    BMessage* Message() const { return message_.get(); }
    void SetMarked(bool marked);
    bool IsMarked() const { return marked_; }
    BMenu* Menu() const { return menu_; }

private:
    friend class BMenu;
    std::string label_;
    std::unique_ptr<BMessage> message_;
    bool marked_ = false;
    BMenu* menu_ = nullptr;
};

class BMenu
{
public:
    explicit BMenu(const char* name);
    virtual ~BMenu();

    BMenu(const BMenu&) = delete;
    BMenu& operator=(const BMenu&) = delete;

    // Takes ownership of the item.
    bool AddItem(BMenuItem* item);
    BMenuItem* ItemAt(int32 index) const;
    int32 CountItems() const { return static_cast<int32>(items_.size()); }
    int32 IndexOf(const BMenuItem* item) const;
    BMenuItem* FindMarked() const;
    const char* Name() const { return name_.c_str(); }

    void SetRadioMode(bool on) { radio_ = on; }
    bool IsRadioMode() const { return radio_; }
    void SetLabelFromMarked(bool on) { label_from_marked_ = on; }

    // In radio mode marking one item unmarks the others.
    void ItemMarked(BMenuItem* item);
    // An item's label changed: the field that shows the menu shows it again.
    void ItemChanged();
    // What a field holding the menu shows: the marked item's label, or the menu's name.
    std::string ShownLabel() const;

    // The view that shows the menu, told when an item changes.
    void SetOwner(class BMenuField* owner) { owner_ = owner; }

private:
    std::string name_;
    std::vector<std::unique_ptr<BMenuItem>> items_;
    bool radio_ = false;
    bool label_from_marked_ = false;
    class BMenuField* owner_ = nullptr;
};

class BPopUpMenu : public BMenu
{
public:
    explicit BPopUpMenu(const char* name, bool radioMode = true, bool labelFromMarked = true);
};

class BMenuField : public BView
{
public:
    // Takes ownership of the menu.
    BMenuField(BRect frame, const char* name, const char* label, BMenu* menu,
               bool fixedSize = false, uint32 resizingMode = B_FOLLOW_LEFT | B_FOLLOW_TOP,
               uint32 flags = B_WILL_DRAW | B_NAVIGABLE);
    ~BMenuField() override;

    BMenu* Menu() const { return menu_.get(); }
    const char* Label() const { return label_.c_str(); }
    void SetDivider(float divider);
    float Divider() const { return divider_; }
    void SetEnabled(bool enabled);
    bool IsEnabled() const { return enabled_; }

    // The user chose item index, from the toolkit: it is marked (in radio mode) and its message
    // goes to the window with the item as "source" and its "index".
    void Chosen(int32 index);
    void MenuChanged() { Changed(); }

protected:
    BPrivate::ToolkitWidget* CreateWidget(int x, int y, int width, int height) override;
    void UpdateWidget() override;

private:
    std::string label_;
    std::unique_ptr<BMenu> menu_;
    float divider_;
    bool enabled_ = true;
};
