#pragma once

#define AWS_S3_API
