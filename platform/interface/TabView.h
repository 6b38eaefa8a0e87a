// Pages behind tabs: a strip of tabs above a container in which the selected tab's page shows.
#pragma once

#include <string>
#include <vector>

#include "platform/interface/View.h"

class BTabView;

class BTab
{
public:
    explicit BTab(BView* view = nullptr);
    virtual ~BTab() = default;

    BTab(const BTab&) = delete;
    BTab& operator=(const BTab&) = delete;

    // The page shows; owner is the tab view's container.
    virtual void Select(BView* owner);
    // The page hides.
    virtual void Deselect();
    BView* View() const { return view_; }
    // The page's name.
    const char* Label() const;

private:
    friend class BTabView;
    BView* view_;
};

class BTabView : public BView
{
public:
    BTabView(BRect frame, const char* name, button_width width = B_WIDTH_AS_USUAL,
             uint32 resizingMode = B_FOLLOW_ALL, uint32 flags = B_WILL_DRAW | B_FRAME_EVENTS);
    ~BTabView() override;

    // The page goes into the container, behind the tab (a plain one when null, owned either
    // way). The first tab added is selected.
    void AddTab(BView* target, BTab* tab = nullptr);
    BTab* TabAt(int32 index) const;
    int32 CountTabs() const { return static_cast<int32>(tabs_.size()); }
    // Deselects the selected tab and selects the new one.
    virtual void Select(int32 index);
    int32 Selection() const { return selection_; }
    void SetTabWidth(button_width width);
    button_width TabWidth() const { return tab_width_; }
    float TabHeight() const { return 24; }

protected:
    BPrivate::ToolkitWidget* CreateWidget(int x, int y, int width, int height) override;

private:
    std::vector<BTab*> tabs_;
    int32 selection_ = -1;
    button_width tab_width_;
    BView* container_;
};
