<?php
header("Content-Type: text/html; charset=utf-8");
echo "<!DOCTYPE html><html><head><title>CGI</title><script src=\"check.js\"></script></head><body>";
echo "<p>method " . $_SERVER["REQUEST_METHOD"] . " query " . ($_SERVER["QUERY_STRING"] ?? "") . "</p>";
flush();
echo "<script>same('cgi page ran', document.title, 'CGI'); same('cgi query', location.search, '?a=1');";
echo "window.external.NavigateTo('x-mrs://res/page.html');</script></body></html>";
