<?php
// The current version: FLINGPOST_TEST_VERSION from the server's environment.
header('Content-Type: text/xml; charset=UTF-8');
echo '<?xml version="1.0" encoding="UTF-8"?>', "\n";
if (($_GET['application'] ?? '') !== 'flingpost') {
    echo '<error>unknown application</error>';
    exit;
}
$version = getenv('FLINGPOST_TEST_VERSION');
echo '<appinfo><current_version>', htmlspecialchars($version === false ? '0.2' : $version, ENT_XML1),
    '</current_version></appinfo>';
