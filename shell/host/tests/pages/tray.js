// Helpers of the notification-area pages (after check.js).
// Runs the steps a second apart, so the ACTION one step prints has run before
// the next step changes anything.
function steps(list) {
  var i = 0;
  (function next() { if (i < list.length) { list[i++](); later(1000, next); } })();
}
// "ACTION" line printing the label, the tray host's embedded icons of the
// program and whether the window of this page's title is on screen.
function count(label) {
  console.log("ACTION echo " + label + " $(xwininfo -tree -name panel | grep -c -i nbbrowser)" +
              " $(xdotool search --onlyvisible --name '^" + document.title + "$' | wc -l)");
}
// "ACTION" line clicking the program's icon in the tray host with a button.
function clickIcon(button, then) {
  console.log("ACTION id=$(xwininfo -tree -name panel | grep -i nbbrowser | head -n 1 | awk '{print $1}');" +
              " eval $(xdotool getwindowgeometry --shell $id);" +
              " xdotool mousemove $((X + 5)) $((Y + 5)) click " + button + (then ? "; " + then : ""));
}
