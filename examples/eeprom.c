/*
 * eeprom.c - the settings a Blackfin board keeps in its EEPROM, on a page of
 * the Lodvane window.
 *
 * Run a copy of it with the Script button (Save rewrites the file it runs
 * from; bash scripts/start.sh puts a copy in its work folder). It builds two
 * tabs of settings, restores the values saved last time (the //#STATE lines
 * Lodvane keeps at the top of this file), and waits for the buttons:
 *
 *   Read   asks the board for its settings ("EEPROM" command) and shows them
 *   Write  sends every setting on the page to the board ("EEPROM BAUD=...")
 *   Save   keeps the values on the page in this file for the next run
 *   Close  ends the script and returns to the main page
 *
 * The board is the one on the port chosen on the main page. With the virtual
 * board (bash scripts/start.sh) first PROGRAM examples/demo-monitor.ldr to
 * FLASH: the board then runs the demo monitor, which answers these commands.
 */

#define BUTTON_READ 0
#define BUTTON_WRITE 1
#define BUTTON_SAVE 2
#define BUTTON_CLOSE 3
#define REPLY_SIZE 512
#define NAME_SIZE 32
#define BAUD_CHOICES 5
#define PARITY_CHOICES 3

/* The settings, as the page was last built from them. */
int baudIndex = 4;
int parityIndex = 0;
int stopCount = 1;
int echoOn = 0;
int flowOn = 0;
char name[NAME_SIZE] = "demo";
int delayMs = 500;
int ledPercent = 50;
int watchdogOn = 1;

/* Widgets of the page, by handle. */
int baudRate;
int parity;
int stopBits;
int echo;
int flowControl;
int boardName;
int bootDelay;
int ledLevel;
int watchdog;
int status;

/* What the board answered last. */
char reply[REPLY_SIZE];

void showStatus(char *text, char *colour)
{
    GridForeground(colour);
    status = GridAddText("Board", 4, 1, text);
    GridForeground("black");
}

/* The library sets spin boxes only, so the pages are built anew from the
 * settings above whenever they change. */
void buildPages()
{
    GridNew("Serial,Board");

    GridSize("Serial", 5, 2);
    GridColHeader("Serial", 0, "Setting");
    GridColHeader("Serial", 1, "Value");
    GridRowHeaderClear("Serial");
    GridBackground("230,238,250");
    GridForeground("darkBlue");
    GridAddText("Serial", 0, 0, "Baud rate");
    GridAddText("Serial", 1, 0, "Parity");
    GridAddText("Serial", 2, 0, "Stop bits");
    GridAddText("Serial", 3, 0, "Echo typed characters");
    GridAddText("Serial", 4, 0, "Flow control");

    baudRate = ComboBox("9600, 19200, 38400, 57600, 115200", baudIndex, "UART speed after reset");
    GridAddWidget("Serial", 0, 1, baudRate);
    parity = ComboBox("none, odd, even", parityIndex, "UART parity");
    GridAddWidget("Serial", 1, 1, parity);
    stopBits = SpinBox(1, 2, stopCount, "UART stop bits");
    GridAddWidget("Serial", 2, 1, stopBits);
    echo = CheckBox("on", echoOn, "Echo typed characters");
    GridAddWidget("Serial", 3, 1, echo);
    flowControl = CheckBox("RTS/CTS", flowOn, "Hardware flow control");
    GridAddWidget("Serial", 4, 1, flowControl);

    GridSize("Board", 5, 2);
    GridColHeader("Board", 0, "Setting");
    GridColHeader("Board", 1, "Value");
    GridRowHeaderClear("Board");
    GridAddText("Board", 0, 0, "Board name");
    GridAddText("Board", 1, 0, "Boot delay");
    GridAddText("Board", 2, 0, "LED brightness");
    GridAddText("Board", 3, 0, "Watchdog");
    GridAddText("Board", 4, 0, "Board says");
    GridBackground("white");

    boardName = LineEdit(name, "Name the board reports");
    GridAddWidget("Board", 0, 1, boardName);
    bootDelay = SpinBox(0, 5000, delayMs, "Delay before the application starts");
    SpinBoxSuffix(bootDelay, " ms");
    SpinBoxStep(bootDelay, 100);
    GridAddWidget("Board", 1, 1, bootDelay);
    ledLevel = SpinBox(0, 100, ledPercent, "LED brightness");
    SpinBoxSuffix(ledLevel, " %");
    SpinBoxStep(ledLevel, 10);
    GridAddWidget("Board", 2, 1, ledLevel);
    watchdog = CheckBox("enabled", watchdogOn, "Reset the board when the application hangs");
    GridAddWidget("Board", 3, 1, watchdog);

    LodvaneSetButton(BUTTON_READ, "Read");
    LodvaneSetButton(BUTTON_WRITE, "Write");
    LodvaneSetButton(BUTTON_SAVE, "Save");
    LodvaneSetButton(BUTTON_CLOSE, "Close");
}

/* The settings as the page shows them now. */
void takeFromPage()
{
    baudIndex = ComboBoxValue(baudRate);
    parityIndex = ComboBoxValue(parity);
    stopCount = SpinBoxValue(stopBits);
    echoOn = CheckBoxValue(echo);
    flowOn = CheckBoxValue(flowControl);
    strncpy(name, LineEditValue(boardName), NAME_SIZE - 1);
    name[NAME_SIZE - 1] = 0;
    delayMs = SpinBoxValue(bootDelay);
    ledPercent = SpinBoxValue(ledLevel);
    watchdogOn = CheckBoxValue(watchdog);
}

/* Collects what the board sends until its prompt, for about two seconds. */
int readReply()
{
    int length = 0;
    int start = clock();
    reply[0] = 0;
    while (clock() - start < 2 * CLOCKS_PER_SEC) {
        LodvaneProcessEvents();
        if (LodvaneBytesAvailable() > 0) {
            char *part = LodvaneReadAll();
            int n = strlen(part);
            if (length + n > REPLY_SIZE - 1)
                n = REPLY_SIZE - 1 - length;
            strncpy(&reply[length], part, n);
            length = length + n;
            reply[length] = 0;
            if (strstr(reply, "bf> ") != NULL)
                return 1;
        }
    }
    return 0;
}

/* Sends one command line and waits for the board's answer. */
int ask(char *command)
{
    if (!LodvaneOpenPort()) {
        showStatus("cannot open the port (is the terminal open?)", "red");
        printf("Can't open the serial port chosen on the main page.\n");
        return 0;
    }
    LodvaneReadAll();
    LodvaneWritePort(command);
    LodvaneWritePort("\r");
    int answered = readReply();
    LodvaneClosePort();
    if (!answered) {
        showStatus("no answer", "red");
        printf("The board did not answer \"%s\".\n", command);
    }
    return answered;
}

/* The number after " KEY=" in the board's line, kept within low..high;
 * `value` stays as it is when the board did not say. */
void numberAfter(char *line, char *key, int low, int high, int *value)
{
    char pattern[16];
    snprintf(pattern, 16, " %s=", key);
    char *at = strstr(line, pattern);
    if (at == NULL)
        return;
    int n = atoi(&at[strlen(pattern)]);
    if (n < low)
        n = low;
    if (n > high)
        n = high;
    *value = n;
}

void readBoard()
{
    if (!ask("EEPROM"))
        return;
    char *line = strstr(reply, "EEPROM ");
    if (line == NULL || strstr(line, " BAUD=") == NULL) {
        showStatus("unexpected answer", "red");
        printf("Unexpected answer: %s\n", reply);
        return;
    }
    char *end = strchr(line, '\r');
    if (end != NULL)
        *end = 0;
    takeFromPage();
    numberAfter(line, "BAUD", 0, BAUD_CHOICES - 1, &baudIndex);
    numberAfter(line, "PARITY", 0, PARITY_CHOICES - 1, &parityIndex);
    numberAfter(line, "STOP", 1, 2, &stopCount);
    numberAfter(line, "ECHO", 0, 1, &echoOn);
    numberAfter(line, "FLOW", 0, 1, &flowOn);
    numberAfter(line, "DELAY", 0, 5000, &delayMs);
    numberAfter(line, "LED", 0, 100, &ledPercent);
    numberAfter(line, "WATCHDOG", 0, 1, &watchdogOn);
    char *named = strstr(line, " NAME=");
    if (named != NULL)
        sscanf(&named[6], "%31s", name);
    buildPages();
    printf("Board settings: baud index %d, parity %d, %d stop bit(s), echo %d, flow control %d, boot delay %d ms, LED %d %%, watchdog %d, name %s\n",
           baudIndex, parityIndex, stopCount, echoOn, flowOn, delayMs, ledPercent, watchdogOn, name);
    showStatus("settings read", "darkGreen");
}

void writeBoard()
{
    char command[REPLY_SIZE];
    takeFromPage();
    if (strlen(name) == 0 || strchr(name, ' ') != NULL || strlen(LineEditValue(boardName)) >= NAME_SIZE) {
        showStatus("the name must be one word of at most 31 characters", "red");
        return;
    }
    snprintf(command, REPLY_SIZE,
             "EEPROM BAUD=%d PARITY=%d STOP=%d ECHO=%d FLOW=%d DELAY=%d LED=%d WATCHDOG=%d NAME=%s",
             baudIndex, parityIndex, stopCount, echoOn, flowOn, delayMs, ledPercent, watchdogOn, name);
    if (!ask(command))
        return;
    if (strstr(reply, "EEPROM written") != NULL) {
        showStatus("settings written", "darkGreen");
        printf("Wrote: %s\n", command);
    } else {
        showStatus("write refused", "red");
    }
}

int main()
{
    buildPages();
    showStatus("not asked yet", "gray");
    LodvaneLoadState();
    LodvaneSetPage(3);
    printf("EEPROM page ready: Read, Write, Save or Close.\n");

    while (!LodvaneButtonAction(BUTTON_CLOSE)) {
        LodvaneProcessEvents();
        if (LodvaneButtonAction(BUTTON_READ)) {
            LodvaneButtonClearAction(BUTTON_READ);
            readBoard();
        }
        if (LodvaneButtonAction(BUTTON_WRITE)) {
            LodvaneButtonClearAction(BUTTON_WRITE);
            writeBoard();
        }
        if (LodvaneButtonAction(BUTTON_SAVE)) {
            LodvaneButtonClearAction(BUTTON_SAVE);
            LodvaneSaveState();
            printf("Values saved in the script file.\n");
        }
    }
    LodvaneButtonClearAction(BUTTON_CLOSE);
    LodvaneSetPage(0);
    return 0;
}
