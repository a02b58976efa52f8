#!/usr/bin/env python3
"""A changing screen to record: full-screen, a gradient background (many colours, drawn once), 24 boxes
that move, and 30 lines of text that scroll like a terminal, all redrawn 30 times a second by the clock
(so every recorder sees the same motion for the same moment)."""
import time
import tkinter

root = tkinter.Tk()
width, height = root.winfo_screenwidth(), root.winfo_screenheight()
root.geometry("%dx%d+0+0" % (width, height))
root.overrideredirect(True)
canvas = tkinter.Canvas(root, width=width, height=height, highlightthickness=0, background="black")
canvas.place(x=0, y=0)
for x in range(0, width, 4):
    canvas.create_rectangle(x, 0, x + 4, height, width=0,
                            fill="#%02x%02x%02x" % (x * 255 // width, 80 + x * 100 // width, 255 - x * 255 // width))
boxes = [canvas.create_rectangle(0, 0, 120, 90, width=0, fill="#%02x%02x%02x" % ((i * 53) % 256, (i * 97) % 256,
                                                                              (i * 151) % 256)) for i in range(24)]
lines = [canvas.create_text(60, 400 + i * 20, anchor="w", fill="white", font=("DejaVu Sans Mono", 12), text="")
         for i in range(30)]
start = time.monotonic()
shown = [-1]


def tick():
    k = int((time.monotonic() - start) * 30)
    if k != shown[0]:
        shown[0] = k
        for i, box in enumerate(boxes):
            x = (k * (7 + i) + i * 311) % (width - 120)
            y = (k * (3 + i % 5) + i * 173) % (height - 90)
            canvas.coords(box, x, y, x + 120, y + 90)
        for i, line in enumerate(lines):
            n = k + i
            canvas.itemconfigure(line, text="%08d  frame %d  line %d  %s" % (n * 7919, k, n, "#" * (n % 60)))
    root.after(2, tick)


root.update()
print("ready", flush=True)
tick()
root.mainloop()
