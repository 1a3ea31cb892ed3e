// Reports of the test pages: one console line per check, read by the test.
var failures = 0;
function check(name, ok, detail) {
  console.log((ok ? "PASS " : "FAIL ") + name + (ok ? "" : " :: " + detail));
  if (!ok) failures++;
}
function same(name, actual, expected) {
  check(name, actual === expected,
        "got " + JSON.stringify(actual) + " (" + typeof actual + "), expected " + JSON.stringify(expected));
}
function throws(name, f) {
  try { f(); check(name, false, "no exception"); } catch (e) { check(name, true); }
}
function later(ms, f) { setTimeout(f, ms); }
function finish() { console.log("DONE failures=" + failures); window.external.Exit(); }
