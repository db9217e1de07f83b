<?php
// Answers an upload with what PHP's own multipart parser made of it: one line
// per form field, one line per file with the digest of the bytes received.
// A field "original_<name>" names the local file that was sent as <name>, so
// the reply also carries the digest of the original for comparison. The reply
// goes out with its length, in one piece.
$out = '';
foreach ($_POST as $name => $value) {
    $out .= "POST " . $name . "=" . $value . "\n";
}
foreach ($_FILES as $field => $file) {
    $received = $file['error'] === UPLOAD_ERR_OK ? md5_file($file['tmp_name']) : '-';
    $originalPath = $_POST['original_' . $field] ?? '';
    $original = $originalPath !== '' ? md5_file($originalPath) : '-';
    $out .= "FILE " . $field . " name=" . $file['name'] . " type=" . $file['type'] . " size=" . $file['size'] .
        " error=" . $file['error'] . " md5=" . $received . " original=" . $original . "\n";
}
header('Content-Type: text/plain');
header('Content-Length: ' . strlen($out));
echo $out;
