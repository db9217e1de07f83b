<?php
// Takes one multipart upload (fields user, hashed_password, aid, type,
// thumbsize and the file field "image"), stores the image and a JPEG
// thumbnail under STORE/files/<user>/<aid>/, answers with the reply document
// and appends one JSON line per request to STORE/uploads.log.

declare(strict_types=1);
require dirname(__DIR__) . '/lib/common.php';

// Above this many pixels GD would need more memory than the server is given.
const DS_MAX_PIXELS = 40000000;

function ds_field(string $key): ?string
{
    return isset($_POST[$key]) && is_string($_POST[$key]) ? $_POST[$key] : null;
}

function ds_upload_error_text(int $code): string
{
    $names = [
        UPLOAD_ERR_INI_SIZE => 'file larger than upload_max_filesize',
        UPLOAD_ERR_FORM_SIZE => 'file larger than MAX_FILE_SIZE',
        UPLOAD_ERR_PARTIAL => 'file only partially received',
        UPLOAD_ERR_NO_FILE => 'no file received',
        UPLOAD_ERR_NO_TMP_DIR => 'no temporary folder',
        UPLOAD_ERR_CANT_WRITE => 'cannot write temporary file',
        UPLOAD_ERR_EXTENSION => 'stopped by an extension',
    ];
    return "upload error $code: " . ($names[$code] ?? 'unknown');
}

/** Next upload number, unique across the whole store. */
function ds_next_number(string $store): int
{
    $fh = fopen("$store/counter", 'c+');
    if ($fh === false) {
        return (int)(microtime(true) * 1000);
    }
    flock($fh, LOCK_EX);
    $n = (int)stream_get_contents($fh) + 1;
    ftruncate($fh, 0);
    rewind($fh);
    fwrite($fh, (string)$n);
    fflush($fh);
    flock($fh, LOCK_UN);
    fclose($fh);
    return $n;
}

/** Size of the thumbnail: the longer side becomes $size, never enlarged. */
function ds_thumb_dimensions(int $w, int $h, int $size): array
{
    $longer = max($w, $h);
    if ($longer <= $size) {
        return [$w, $h];
    }
    if ($w >= $h) {
        return [$size, max(1, (int)round($h * $size / $w))];
    }
    return [max(1, (int)round($w * $size / $h)), $size];
}

/** Reads the image with GD; returns the image or an error text. */
function ds_load_image(string $path)
{
    $info = @getimagesize($path);
    if ($info === false || $info[0] < 1 || $info[1] < 1) {
        return 'not an image';
    }
    if ($info[0] * $info[1] > DS_MAX_PIXELS) {
        return 'image too large to process';
    }
    $bytes = file_get_contents($path);
    $img = $bytes === false ? false : @imagecreatefromstring($bytes);
    return $img === false ? 'not an image' : $img;
}

/** Writes the thumbnail as JPEG; JPEG has no transparency, so it sits on white. */
function ds_write_thumbnail($img, int $size, string $dest): bool
{
    $w = imagesx($img);
    $h = imagesy($img);
    [$tw, $th] = ds_thumb_dimensions($w, $h, $size);
    $thumb = imagecreatetruecolor($tw, $th);
    imagefill($thumb, 0, 0, imagecolorallocate($thumb, 255, 255, 255));
    imagecopyresampled($thumb, $img, 0, 0, 0, 0, $tw, $th, $w, $h);
    $ok = imagejpeg($thumb, $dest, 85);
    imagedestroy($thumb);
    return $ok;
}

$store = ds_store();
$file = $_FILES['image'] ?? null;
$entry = [
    'time' => gmdate('Y-m-d\TH:i:s\Z'),
    'user' => ds_field('user'),
    'hashed_password' => ds_field('hashed_password'),
    'aid' => ds_field('aid'),
    'type' => ds_field('type'),
    'thumbsize' => ds_field('thumbsize'),
    'filename' => null,
    'filename_hex' => null,
    'content_type' => null,
    'size' => null,
    'md5' => null,
    'ok' => false,
    'error' => '',
];
$received = false;
if (is_array($file) && is_string($file['name'] ?? null)) {
    $entry['filename'] = $file['name'];
    $entry['filename_hex'] = bin2hex($file['name']);
    $entry['content_type'] = $file['type'];
    $entry['size'] = (int)$file['size'];
    if ($file['error'] === UPLOAD_ERR_OK && is_uploaded_file($file['tmp_name'])) {
        $received = true;
        $entry['size'] = filesize($file['tmp_name']);
        $entry['md5'] = md5_file($file['tmp_name']);
    }
}

$error = null;
$user = null;
$thumbsize = 0;
if (($_SERVER['REQUEST_METHOD'] ?? '') !== 'POST') {
    $error = 'POST required';
} elseif (empty($_POST) && empty($_FILES)) {
    // PHP drops the whole body when it exceeds post_max_size.
    $error = 'no form data received';
} elseif (($user = ds_find_user($entry['user'])) === null) {
    $error = 'no such user';
} elseif (!ds_digest_ok($user, $entry['hashed_password'])) {
    $error = 'wrong password';
} elseif (ds_find_album($user, $entry['aid']) === null) {
    $error = 'unknown album';
} elseif ($entry['type'] !== 'file') {
    $error = 'unsupported type';
} elseif (preg_match('/^[0-9]{1,6}$/', (string)$entry['thumbsize']) !== 1) {
    $error = 'invalid thumbsize';
} elseif ($file === null) {
    $error = 'no image file';
} elseif (!is_string($file['name'] ?? null)) {
    $error = 'more than one image';
} elseif ($file['error'] !== UPLOAD_ERR_OK) {
    $error = ds_upload_error_text((int)$file['error']);
} elseif (!$received) {
    $error = 'no image file';
} else {
    $thumbsize = min(DS_MAX_THUMB, max(DS_MIN_THUMB, (int)$entry['thumbsize']));
}

$reply = null;
if ($error === null) {
    $img = ds_load_image($file['tmp_name']);
    if (is_string($img)) {
        $error = $img;
    } else {
        $n = ds_next_number($store);
        $name = $n . '-' . ds_safe_segment($file['name']);
        $stem = pathinfo($name, PATHINFO_FILENAME);
        $segments = ['files', ds_safe_segment($entry['user'], 'user'), $entry['aid']];
        $dir = $store . '/' . implode('/', $segments);
        if (!is_dir("$dir/thumbs") && !@mkdir("$dir/thumbs", 0777, true) && !is_dir("$dir/thumbs")) {
            $error = 'cannot create album folder';
        } elseif (!move_uploaded_file($file['tmp_name'], "$dir/$name")) {
            $error = 'cannot store image';
        } elseif (!ds_write_thumbnail($img, $thumbsize, "$dir/thumbs/$stem.jpg")) {
            @unlink("$dir/$name");
            $error = 'cannot write thumbnail';
        } else {
            $imageUrl = ds_base_url() . ds_url_path(array_merge($segments, [$name]));
            $thumbUrl = ds_base_url() . ds_url_path(array_merge($segments, ['thumbs', "$stem.jpg"]));
            $entry['stored'] = implode('/', array_merge($segments, [$name]));
            $reply = '<upload><thumburl>' . ds_xml($thumbUrl) . '</thumburl>'
                . '<imageurl>' . ds_xml($imageUrl) . '</imageurl></upload>';
        }
        imagedestroy($img);
    }
}

$entry['ok'] = $error === null;
$entry['error'] = $error ?? '';
file_put_contents(
    "$store/uploads.log",
    json_encode($entry, JSON_UNESCAPED_SLASHES | JSON_UNESCAPED_UNICODE | JSON_INVALID_UTF8_SUBSTITUTE) . "\n",
    FILE_APPEND | LOCK_EX
);

ds_send_xml($reply ?? '<upload><error>' . ds_xml($error) . '</error></upload>');
