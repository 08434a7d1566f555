#pragma once

class PagePrinter;
class Shell;
class SoundPlayer;
class TickSource;

// The platform services the main window works with; tests put fakes in where the real
// thing cannot run (audio device, desktop, printer).
struct Services
{
    const TickSource &clock;
    SoundPlayer &sound;
    Shell &shell;
    PagePrinter &printer;
};
