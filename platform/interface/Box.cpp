#include "platform/interface/Box.h"

#include <FL/Fl.H>
#include <FL/Fl_Group.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/interface/private/KitWidget.h"

namespace
{

constexpr int kLabelSize = 12;

class KitBoxWidget : public KitGroupWidget
{
public:
    using KitGroupWidget::KitGroupWidget;

protected:
    void DrawView(BView* view) override
    {
        auto* box = static_cast<BBox*>(view);
        rgb_color background = background_of(box);
        fl_rectf(x(), y(), w(), h(), kit_color(background));
        std::string label = box->Label() != nullptr ? box->Label() : "";
        int top = y() + (label.empty() ? 0 : kLabelSize / 2);
        if (box->Border() == B_FANCY_BORDER)
        {
            fl_color(fl_rgb_color(152, 152, 152));
            fl_rect(x(), top, w() - 1, y() + h() - top - 1);
            fl_color(FL_WHITE);
            fl_rect(x() + 1, top + 1, w() - 1, y() + h() - top - 1);
        }
        else if (box->Border() == B_PLAIN_BORDER)
        {
            fl_color(fl_rgb_color(152, 152, 152));
            fl_rect(x(), top, w(), y() + h() - top);
        }
        if (!label.empty())
        {
            fl_font(FL_HELVETICA_BOLD, kLabelSize);
            int text_width = static_cast<int>(fl_width(label.c_str()));
            fl_rectf(x() + 8, y(), text_width + 6, kLabelSize + 2, kit_color(background));
            fl_color(FL_BLACK);
            fl_draw(label.c_str(), x() + 11, y() + kLabelSize - 2);
        }
        kit_draw_paintings(box, x(), y());
    }
};

// The lines of a notice, string views stacked in one font, are drawn in one size.
void fit_lines(const BStringView* view)
{
    kit_column_fitted_size(view, kit_font(view->Font()), kit_font_size(view->Font()),
                           [view](const BView* other)
                           {
                               auto* line = static_cast<const BStringView*>(other);
                               if (kit_font(line->Font()) != kit_font(view->Font()) ||
                                   kit_font_size(line->Font()) != kit_font_size(view->Font()))
                                   return KitText();
                               return KitText{line->Text(), line->Frame().IntegerWidth() + 1};
                           });
}

// Whether other shows a text in the same column of a list as view: a string view of the same
// name, font and truncation, at the same place across the window.
bool same_column(const BStringView* view, const BView* other)
{
    auto* line = dynamic_cast<const BStringView*>(other);
    if (line == nullptr || line->Widget() == nullptr || line->Truncation() != view->Truncation() ||
        std::strcmp(line->Name(), view->Name()) != 0 ||
        kit_font(line->Font()) != kit_font(view->Font()) ||
        kit_font_size(line->Font()) != kit_font_size(view->Font()))
        return false;
    const Fl_Widget* mine = view->Widget()->Toolkit();
    const Fl_Widget* its = line->Widget()->Toolkit();
    return its->x() == mine->x() && its->w() == mine->w();
}

// The smallest size any text of the column needs to fit, from below root.
int column_size(const BStringView* view, const BView* root, Fl_Font font, int size)
{
    if (same_column(view, root))
    {
        auto* line = static_cast<const BStringView*>(root);
        size = std::min(size,
                        kit_fitted_size(font, size, line->Text(), line->Widget()->Toolkit()->w()));
    }
    for (int32 index = 0; index < root->CountChildren(); index++)
        size = column_size(view, root->ChildAt(index), font, size);
    return size;
}

// The text as drawn: whole where it fits, else cut at a character with "..." after it.
std::string fitted_text(const BStringView* view, int room)
{
    std::string text = view->Text();
    if (view->Truncation() != B_TRUNCATE_END || fl_width(text.c_str()) <= room)
        return text;
    if (text.size() >= 3 && text.compare(text.size() - 3, 3, "...") == 0)
        text.resize(text.size() - 3);
    while (!text.empty() && fl_width((text + "...").c_str()) > room)
    {
        // The last character, never half of one: its continuation bytes, then its first.
        while (!text.empty() && (static_cast<unsigned char>(text.back()) & 0xC0) == 0x80)
            text.pop_back();
        if (!text.empty())
            text.pop_back();
    }
    return text + "...";
}

class KitStringWidget : public KitWidget<Fl_Widget>
{
public:
    using KitWidget::KitWidget;

    // Stays the widget below the pointer, as FLTK's boxes do, so that its tooltip shows.
    int handle(int event) override { return event == FL_ENTER || event == FL_LEAVE ? 1 : 0; }

    void draw() override
    {
        KitHold hold(link);
        auto* view = static_cast<BStringView*>(hold.View());
        if (view == nullptr)
            return;
        fl_push_clip(x(), y(), w(), h());
        if (view->HasViewColor())
            fl_rectf(x(), y(), w(), h(), kit_color(view->ViewColor()));
        if (view->Truncation() == B_TRUNCATE_END)
        {
            const BView* root = view;
            while (root->Parent() != nullptr)
                root = root->Parent();
            Fl_Font font = kit_font(view->Font());
            fl_font(font, column_size(view, root, font, kit_font_size(view->Font())));
        }
        else
            fit_lines(view);
        std::string text = fitted_text(view, w());
        fl_color(kit_color(view->HighColor()));
        Fl_Align align =
            FL_ALIGN_INSIDE | FL_ALIGN_CLIP |
            (view->Alignment() == B_ALIGN_CENTER
                 ? FL_ALIGN_CENTER
                 : (view->Alignment() == B_ALIGN_RIGHT ? FL_ALIGN_RIGHT : FL_ALIGN_LEFT));
        fl_draw(text.c_str(), x(), y(), w(), h(), align, nullptr, 0);
        fl_pop_clip();
    }
};

} // namespace

rgb_color background_of(const BView* view)
{
    for (; view != nullptr; view = view->Parent())
    {
        if (view->HasViewColor())
            return view->ViewColor();
    }
    return make_color(216, 216, 216);
}

BBox::BBox(BRect frame, const char* name, uint32 resizingMode, uint32 flags, border_style border)
    : BView(frame, name, resizingMode, flags), border_(border)
{
}

void BBox::SetLabel(const char* label)
{
    label_ = label != nullptr ? label : "";
    Changed();
}

BPrivate::ToolkitWidget* BBox::CreateWidget(int x, int y, int width, int height)
{
    return new KitBoxWidget(x, y, width, height);
}

BStringView::BStringView(BRect frame, const char* name, const char* text, uint32 resizingMode,
                         uint32 flags)
    : BView(frame, name, resizingMode, flags), text_(text != nullptr ? text : "")
{
}

void BStringView::SetText(const char* text)
{
    text_ = text != nullptr ? text : "";
    Changed();
}

void BStringView::SetTruncation(uint32 mode)
{
    truncation_ = mode;
    Changed();
}

void BStringView::SetAlignment(alignment flag)
{
    alignment_ = flag;
    Changed();
}

BPrivate::ToolkitWidget* BStringView::CreateWidget(int x, int y, int width, int height)
{
    return new KitStringWidget(x, y, width, height);
}
