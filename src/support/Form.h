#pragma once
// The small window framework: a top-level form with its events, a multi-line text box, a timer,
// and the message loop with key preview.
#include "Font.h"
#include "WindowSubclass.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

// Key events of a text box, delivered before the control's own processing.
// Setting the key code (or the character) to 0 cancels the key for the control.
class ITextBoxKeyEvents {
  public:
    virtual void TB_KeyDown(int& keyCode, int& shift) = 0;
    virtual void TB_KeyPress(int& keyAscii) = 0;

  protected:
    ~ITextBoxKeyEvents() = default;
};

class TextBox {
  public:
    TextBox() = default;
    TextBox(const TextBox&) = delete;
    TextBox& operator=(const TextBox&) = delete;

    // A multi-line box with both scroll bars and no length limit; the rectangle is in twips.
    void Create(HWND parent, int id, double left, double top, double width, double height);
    HWND Handle() const { return handle_; }

    std::wstring Text() const;
    int TextLength() const;
    void SetText(const std::wstring& text);

    const std::shared_ptr<Font>& GetFont() const { return font_; }
    void SetFont(std::shared_ptr<Font> font);
    // Renders the font again at the window's current DPI.
    void RefreshFont();

    // Moves and sizes in twips; a negative width or height is refused and nothing moves.
    void Move(double left, double top, double width, double height);

    // One subscriber at a time gets the key events while the subscription lives.
    class KeySubscription {
      public:
        KeySubscription(TextBox& box, ITextBoxKeyEvents& sink);

      private:
        WindowSubclass subclass_;
    };

  private:
    HWND handle_ = nullptr;
    std::shared_ptr<Font> font_;
};

class Form;

class Timer {
  public:
    Timer() = default;
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;
    ~Timer();

    // Starts the timer on the form, which hands it its ticks.
    void Create(Form& owner, UINT_PTR id, UINT interval, std::function<void()> tick);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    UINT Interval() const { return interval_; }
    UINT_PTR Id() const { return id_; }
    void Fire();

  private:
    HWND owner_ = nullptr;
    UINT_PTR id_ = 0;
    UINT interval_ = 0;
    bool enabled_ = false;
    std::function<void()> tick_;
};

// Modifier mask of the keyboard at this moment: 1 Shift, 2 Ctrl, 4 Alt.
int ShiftState();

class Form {
  public:
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;
    virtual ~Form();

    // Creates the window and its controls (hidden), then runs Form_Load.
    void Load();
    void Show();
    // A close request: Form_Unload may cancel it. True when the window is gone.
    bool Unload();

    HWND Handle() const { return handle_; }
    bool IsLoaded() const { return handle_ != nullptr; }
    UINT Dpi() const;
    double TwipsPerPixel() const { return 1440.0 / Dpi(); }
    // Client area in twips.
    double ScaleWidth() const;
    double ScaleHeight() const;
    const std::shared_ptr<Font>& GetFont() const { return font_; }
    // How Show presents the window (a stored placement may ask for maximised).
    void SetShowCommand(int showCommand) { showCommand_ = showCommand; }

    // Marks a modal loop of the program (a dialog, a message box, a load that may prompt) for as
    // long as it lives: a close that arrives meanwhile is remembered and posted again when the last
    // loop ends, so that nothing is destroyed under a running loop.
    class ModalLoop {
      public:
        ModalLoop() { ++modalLoops_; }
        ~ModalLoop();
        ModalLoop(const ModalLoop&) = delete;
        ModalLoop& operator=(const ModalLoop&) = delete;
    };

    // Offers a key message of this form or its controls to Form_KeyDown; true when it was consumed.
    static bool PreviewKey(MSG& msg);
    // The show command the program was started with (the entry procedure's): the first Show of a
    // program started minimized (a shortcut, start /min, the start at sign-in) leaves the window
    // minimized and takes no focus.
    static void SetStartShowCommand(int showCommand) { startShowCommand_ = showCommand; }
    // Asks for a close that is answered at once (the set-up sends it): 1 when the form closes now,
    // 2 while a prompt or dialog is open, and then nothing is remembered for later. (0 is the
    // answer of a version that does not know the message.) wParam, when not 0, is the tick count
    // (GetTickCount) by which the sender wants its answer: a close not prepared by then is refused,
    // since a sender that gave up has told its user that nothing was changed.
    static UINT CloseNowMessage();
    // The program ends when its last form is gone (set by the entry procedure, not by tests).
    static void SetQuitWhenLastFormCloses(bool quit) { quitWhenLastFormCloses_ = quit; }
    static int OpenCount() { return openCount_; }

  protected:
    Form(std::wstring caption, int clientWidthTwips, int clientHeightTwips, std::shared_ptr<Font> font);

    virtual void CreateControls() {}
    virtual void Form_Load() {}
    virtual void Form_Unload(bool& cancel) { (void)cancel; }
    virtual void Form_KeyDown(int& keyCode, int& shift) {
        (void)keyCode;
        (void)shift;
    }
    virtual void Form_Resize() {}
    // The window moved to a monitor of another DPI: controls render their fonts again.
    virtual void Form_DpiChanged() {}
    // The session ends while a modal loop runs: keep what must survive, destroy nothing.
    virtual void Form_EndSession() {}
    // A close asked for by CloseNowMessage, whose sender cannot answer a prompt: keeps now what the
    // close must keep, so that its unload needs none; false refuses the close (2), as when a
    // prompt is open.
    virtual bool Form_PrepareCloseNow() { return true; }
    // The sender of that close gave up before it was prepared: the form goes on as before.
    virtual void Form_CloseNowCancelled() {}
    // A message from WM_APP on, which the form's own code posted to its window.
    virtual void Form_AppMessage(UINT message) { (void)message; }

  private:
    friend class Timer;
    static LRESULT CALLBACK WndProc(HWND, UINT, WPARAM, LPARAM);
    LRESULT HandleMessage(UINT, WPARAM, LPARAM);
    void Destroyed();

    std::wstring caption_;
    int clientWidthTwips_;
    int clientHeightTwips_;
    std::shared_ptr<Font> font_;
    HWND handle_ = nullptr;
    bool loading_ = false;
    bool unloading_ = false;
    bool closeDeferred_ = false;
    int showCommand_ = SW_SHOWNORMAL;
    std::vector<Timer*> timers_;
    static inline int modalLoops_ = 0;
    static inline std::vector<Form*> openForms_;
    static inline int startShowCommand_ = SW_SHOWNORMAL;
    static inline bool quitWhenLastFormCloses_ = false;
    static inline int openCount_ = 0;
};

// Runs the message loop until the program quits.
void RunMessageLoop();
// Handles the messages already waiting, as the message loop would.
void DoEvents();
